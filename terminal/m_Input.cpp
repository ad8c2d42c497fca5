#include "terminal/m_Input.h"

// TInput adds nothing to TInputLinux; this unit exists so that callers depend
// on the name TInput only.
