#include "ui/LightBar.h"
