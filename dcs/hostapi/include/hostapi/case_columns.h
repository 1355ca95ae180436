// The positions of the cells in the case data block's rows: which column of
// a controller row holds its SP tag, and so on. The host fills rows by them
// as the driver reads them, so both take them from here.
#pragma once

#include <cstdint>

// Controller columns.
enum : int32_t {
    CTRL_COL_DATA_SET = 0,
    CTRL_COL_SP = 1,
    CTRL_COL_SP_INIT = 2,
    CTRL_COL_OP = 3,
    CTRL_COL_OP_INIT = 4,
    CTRL_COL_MODE = 5,
};

// PV-export and PV-import columns, and the general data's fields.
enum : int32_t {
    PV_COL_DATA_SET = 0,
    PV_COL_TAG = 1,
    PV_IMPORT_COL_MAPPING = 2,
    GEN_DATA_SET = 0,
    GEN_ENABLED_FLAG = 1,
    GEN_RUNNING_FLAG = 2,
};
