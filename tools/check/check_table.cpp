#include "checks.h"

const Check check_table[] = {
    {"drm device", true, check_drm_device},        {"fec library", true, check_fec_library},
    {"input picture", true, check_input_picture},  {"mesh level 0", true, check_mesh_level0},
    {"mesh level 200", true, check_mesh_level200}, {"tuning service", true, check_tuning_service},
    {"terminal", false, check_terminal},
};

const size_t check_count = sizeof(check_table) / sizeof(check_table[0]);
