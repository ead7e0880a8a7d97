// Reading the online correction parameters from a calibration INI file.
#ifndef LENS_CALIBRATION_INI_H
#define LENS_CALIBRATION_INI_H

#include <lenswarp_api.h>

namespace lenswarp {

// The section that holds the parameters.
constexpr const char *kCalibrationSection = "fec_online";

// Fills `cfg` from the file. Returns 0, or an errno value: the open error, open_regular_file's
// refusal of a file that is not a regular one, or EINVAL for a syntax error, a missing key or a
// value that is not a number of the right kind. A line longer than the INI parser takes (197
// characters, without the line end) is refused whole, with EINVAL and a line on standard error
// that names it. On failure `cfg` is left unchanged.
int load_calibration_ini(const char *path, FecOnlineConfig *cfg);

}  // namespace lenswarp

#endif  // LENS_CALIBRATION_INI_H
