// connopts.cpp -- storage of the process-wide connect options block.

#include "odbc/connopts.h"

ConnectOptionsBlock ConnectOptions{};
