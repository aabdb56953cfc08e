#pragma once
// inf_log.h -- how the agent logs: the function's name, a colon and the message,
// with the agent's source module and the line of the call.

#include "util/log.h"

#define INF_LOG(level, src, ...) log_printf((level), (src), __LINE__, __VA_ARGS__)
