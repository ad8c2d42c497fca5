#include "ui/MenuBox.h"
