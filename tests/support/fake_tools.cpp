#include "fake_tools.h"

#include <stdlib.h>
#include <sys/stat.h>

FakeTools::FakeTools() {
  mDir.make_dir("bin");
  mDir.make_dir("root");
  script("cat", "exec /bin/cat " + mDir.file("root") + "\"$1\"\n");
}

void FakeTools::script(const std::string &name, const std::string &body) const {
  chmod(mDir.write("bin/" + name, "#!/bin/sh\n" + body).c_str(), 0755);
}

void FakeTools::kernelFile(const std::string &path, const std::string &content) const {
  mDir.make_dir("root" + path.substr(0, path.rfind('/')));
  mDir.write("root" + path, content);
}

void FakeTools::freeOutput(const std::string &text) const {
  mDir.write("free.out", text);
  script("free", "exec /bin/cat " + mDir.file("free.out") + "\n");
}

void FakeTools::stringsOutput(const std::string &text) const {
  mDir.write("strings.out", text);
  script("strings", "for a in \"$@\"; do printf '[%s]' \"$a\"; done >> " +
                        mDir.file("strings.calls") + "\necho >> " + mDir.file("strings.calls") +
                        "\nexec /bin/cat " + mDir.file("strings.out") + "\n");
}

std::string FakeTools::searchPath() const {
  const char *path = getenv("PATH");
  return mDir.file("bin") + ":" + (path != nullptr ? path : "/usr/bin:/bin");
}

std::string fakeTqzelLibrary(const std::vector<std::string> &texts) {
  std::string bytes(
      "\x7f"
      "ELF\x01\x01\x01",
      7);
  for (const std::string &text : texts) bytes += std::string("\0\x90\x02", 3) + text + '\0';
  return bytes + std::string(64, '\0');
}
