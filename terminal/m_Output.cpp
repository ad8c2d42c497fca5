#include "terminal/m_Output.h"
// Nothing of its own: TOutput is TOutputLinux under the platform-neutral name.
