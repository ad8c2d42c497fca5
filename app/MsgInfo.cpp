#include "app/MsgInfo.h"
