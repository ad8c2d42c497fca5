#include "app/MainProgram.h"
