// Result codes shared by the installer's steps: the file-deployment operations answer with a
// CopyResult, the component steps with a ComponentStatus that the installation run reports.
#pragma once

#include <stdint.h>

enum ComponentStatus : int32_t {
    StatusNotRun = -1,
    StatusOk = 0,
    StatusError = 1,
    StatusAborted = 2,
    StatusWarning = 3,
};

enum CopyResult : int32_t {
    CopyDone = 0,
    CopyFailed = 1,
    CopyListFailed = 2,
    CopyDirFailed = 3,
    CopyAborted = 4,
};

// Capacity of the message buffer that the installation run gives every step.
const uint32_t kMessageCapacity = 592;
