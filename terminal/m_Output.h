#pragma once
// The program's terminal writer: the Linux writer, with nothing added. Code
// outside the terminal layer names this type, so another platform's writer
// could stand in its place.

#include "terminal/m_Output_Linux.h"

class TOutput : public TOutputLinux {
public:
    using TOutputLinux::TOutputLinux;
};
