#include "app/MsgPages.h"
