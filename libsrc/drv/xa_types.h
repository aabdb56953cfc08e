#pragma once
// xa_types.h -- the X/Open XA records that cross the driver's XA boundary (the
// transaction identifier and the switch a transaction monitor calls through),
// as the platform's XA interface defines them.

#include "platform/xa/xa.h"
