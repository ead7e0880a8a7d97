#include "check_report.h"

#include <vector>

#include "json_text.h"

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

}  // namespace

void print_check_lines(FILE *out, const Check *check, const CheckResult *result) {
  fprintf(out, "%-6s%-16s%s\n", verdict_texts[result->verdict].word, check->name,
          result->detail.c_str());
  if (!result->hint.empty()) fprintf(out, "      hint: %s\n", result->hint.c_str());
}

std::string results_json(const Check *checks, const CheckResult *results, size_t count) {
  std::string json = all_required_passed(checks, results, count) ? "{\"ready\":true,\"checks\":["
                                                                 : "{\"ready\":false,\"checks\":[";
  for (size_t i = 0; i < count; ++i) {
    json += i == 0 ? "{\"name\":" : ",{\"name\":";
    append_json_string(&json, checks[i].name);
    json += checks[i].required ? ",\"required\":true,\"verdict\":\""
                               : ",\"required\":false,\"verdict\":\"";
    json += verdict_texts[results[i].verdict].json;
    json += "\",\"detail\":";
    append_json_string(&json, results[i].detail);
    json += ",\"hint\":";
    append_json_string(&json, results[i].hint);
    json += "}";
  }
  json += "]}";
  return json;
}

bool run_checks(bool json) {
  std::vector<CheckResult> results;
  for (size_t i = 0; i < check_count; ++i) {
    results.push_back(check_table[i].run());
    if (json) continue;
    print_check_lines(stdout, &check_table[i], &results.back());
    // A slow check (the service's time-out) must not hold back the lines before it.
    fflush(stdout);
  }
  if (json) printf("%s\n", results_json(check_table, results.data(), results.size()).c_str());
  return all_required_passed(check_table, results.data(), results.size());
}
