// Running the checks and showing their results: lines for people, or one JSON object for
// programs.
#ifndef CAMTOOLS_CHECK_CHECK_REPORT_H
#define CAMTOOLS_CHECK_CHECK_REPORT_H

#include <stdio.h>

#include <string>

#include "checks.h"

// "VERDICT NAME DETAIL" in columns, and with a hint "      hint: HINT" below it.
void print_check_lines(FILE *out, const Check *check, const CheckResult *result);

// {"ready":B,"checks":[{"name":S,"required":B,"verdict":"ok"|"fail"|"info","detail":S,"hint":S},
// ...]} on one line, without a line end.
std::string results_json(const Check *checks, const CheckResult *results, size_t count);

enum ChecksOutcome {
  CHECKS_READY,        // every required check passed
  CHECKS_NOT_READY,    // a required check failed
  CHECKS_NOT_WRITTEN,  // the results could not all be written, whatever they were
};

// Runs every check of check_table in order and prints the results on standard output: each
// check's lines as soon as it ends, or with `json` the JSON object and a line end at the end.
// CHECKS_NOT_WRITTEN after a line on standard error that says why.
ChecksOutcome run_checks(bool json);

#endif  // CAMTOOLS_CHECK_CHECK_REPORT_H
