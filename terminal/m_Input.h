#pragma once
// The program's keyboard type: the Linux reader as it stands. Callers name
// TInput so that the reader behind it can change without touching them.

#include "terminal/m_Input_Linux.h"

class TInput : public TInputLinux {};
