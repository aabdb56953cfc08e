#pragma once
// inf_log.h -- how the agent logs: the function's name, a colon and the message,
// with the source file of the call (its kSrc) and its line.

#include "util/log.h"

#define INF_LOG(level, src, ...) log_printf((level), (src), __LINE__, __VA_ARGS__)
