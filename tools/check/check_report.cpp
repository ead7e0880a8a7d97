#include "check_report.h"

#include <errno.h>
#include <string.h>

#include <nlohmann/json.hpp>
#include <vector>

#include "utf8_text.h"

namespace {

struct VerdictText {
  const char *word;  // in the lines, where a failure must stand out
  const char *json;
};

const VerdictText verdict_texts[] = {
    {"ok", "ok"},      // VERDICT_OK
    {"FAIL", "fail"},  // VERDICT_FAIL
    {"info", "info"},  // VERDICT_INFO
};

bool all_required_passed(const Check *checks, const CheckResult *results, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (checks[i].required && results[i].verdict == VERDICT_FAIL) return false;
  }
  return true;
}

// Flushes standard output; the first failure's errno is kept in `*error` (0 until then), since
// stdio drops what it could not write and the error flag alone does not say why.
void flush_report(int *error) {
  if (fflush(stdout) != 0 && *error == 0) *error = errno != 0 ? errno : EIO;
}

}  // namespace

void print_check_lines(FILE *out, const Check *check, const CheckResult *result) {
  fprintf(out, "%-6s%-16s%s\n", verdict_texts[result->verdict].word, check->name,
          result->detail.c_str());
  if (!result->hint.empty()) fprintf(out, "      hint: %s\n", result->hint.c_str());
}

std::string results_json(const Check *checks, const CheckResult *results, size_t count) {
  // The keys in the order they have always had, which a reader may rely on.
  nlohmann::ordered_json report = {{"ready", all_required_passed(checks, results, count)},
                                   {"checks", nlohmann::ordered_json::array()}};
  for (size_t i = 0; i < count; ++i) {
    report["checks"].push_back({{"name", well_formed_utf8(checks[i].name)},
                                {"required", checks[i].required},
                                {"verdict", verdict_texts[results[i].verdict].json},
                                {"detail", well_formed_utf8(results[i].detail)},
                                {"hint", well_formed_utf8(results[i].hint)}});
  }
  // In ASCII, so that a byte that is not UTF-8 reads as \u0080 to \u00ff, as it always has.
  return report.dump(-1, ' ', true);
}

ChecksOutcome run_checks(bool json) {
  std::vector<CheckResult> results;
  int write_error = 0;
  for (size_t i = 0; i < check_count; ++i) {
    results.push_back(check_table[i].run());
    if (json) continue;
    print_check_lines(stdout, &check_table[i], &results.back());
    // A slow check (the service's time-out) must not hold back the lines before it.
    flush_report(&write_error);
  }
  if (json) printf("%s\n", results_json(check_table, results.data(), results.size()).c_str());
  flush_report(&write_error);
  // A report cut short must not read as a verdict: a script would take a part for the whole.
  if (write_error != 0 || ferror(stdout)) {
    fprintf(stderr, "camtools-check: writing the report failed: %s\n",
            strerror(write_error != 0 ? write_error : EIO));
    return CHECKS_NOT_WRITTEN;
  }
  return all_required_passed(check_table, results.data(), results.size()) ? CHECKS_READY
                                                                          : CHECKS_NOT_READY;
}
