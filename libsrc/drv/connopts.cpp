// connopts.cpp -- storage of the process-wide connect options block.

#include "drv/connopts.h"

ConnectOptionsBlock ConnectOptions{};
