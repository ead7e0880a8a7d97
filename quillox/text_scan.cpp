#include "text_scan.h"

#include <stdio.h>
#include <string.h>

#include <array>
#include <memory>

namespace {

constexpr size_t kMaxRun = 4095;  // the longest run; at the next printable byte it is flushed
constexpr size_t kMinRun = 4;
constexpr size_t kReadBlock = 64 * 1024;

// isprint() of the POSIX locale, plus tab.
constexpr std::array<unsigned char, 256> makePrintableTable() {
  std::array<unsigned char, 256> table{};
  for (int c = 0x20; c <= 0x7e; ++c) table[c] = 1;
  table['\t'] = 1;
  return table;
}
constexpr std::array<unsigned char, 256> kPrintable = makePrintableTable();

// Reads the file in blocks. Runs are found in place: a buffer of kMaxRun bytes in front of each
// block holds the part of a run that began in the previous block, so every run lies contiguous
// in memory. The loop only tracks the run's length and branches only where a run of kMinRun or
// more ends (or reaches kMaxRun), which is rare compared with the printable/non-printable
// changes of binary data.
class RunScanner {
 public:
  RunScanner(const char *needle, std::string &output, bool all)
      : mNeedle(needle),
        mNeedleLength(strlen(needle)),
        mOutput(output),
        mAll(all),
        mBuffer(new unsigned char[kMaxRun + kReadBlock]) {}

  // Scans the whole file; stops early at a match without `all`.
  void scan(FILE *file) {
    unsigned char *data = mBuffer.get() + kMaxRun;
    size_t length = 0;  // of the current run, which ends at data + i
    size_t n;
    while ((n = fread(data, 1, kReadBlock, file)) > 0) {
      for (size_t i = 0; i < n; ++i) {
        size_t printable = kPrintable[data[i]];
        // Bitwise, so that the only branch is the rare one.
        size_t endsRun = (printable ^ 1) & (size_t)(length >= kMinRun);
        size_t overflows = printable & (size_t)(length == kMaxRun);
        if (__builtin_expect(endsRun | overflows, 0)) {
          // A non-printable byte ends the run; a printable one beyond kMaxRun is dropped.
          if (!flush(data + i - length, length)) return;
          length = 0;
          continue;
        }
        length = (length + 1) & (0 - printable);
      }
      memmove(data - length, data + n - length, length);
    }
    if (length >= kMinRun) flush(data - length, length);
  }

  int result() const { return mFound ? 1 : 0; }

 private:
  // Reports the run if it contains the needle; false when the scan should stop.
  bool flush(const unsigned char *run, size_t length) {
    if (length < mNeedleLength || memmem(run, length, mNeedle, mNeedleLength) == nullptr) {
      return true;
    }
    mOutput.append(reinterpret_cast<const char *>(run), length);
    mOutput += "\n";
    mFound = true;
    return mAll;
  }

  const char *mNeedle;
  size_t mNeedleLength;
  std::string &mOutput;
  bool mAll;
  std::unique_ptr<unsigned char[]> mBuffer;
  bool mFound = false;
};

}  // namespace

int strings(const char *path, const char *needle, std::string &output, bool all) {
  FILE *file = fopen(path, "r");
  if (file == nullptr) {
    fprintf(stderr, "open %s error.\n", path);
    return 0;
  }
  RunScanner scanner(needle, output, all);
  scanner.scan(file);
  fclose(file);
  return scanner.result();
}
