// The library's front door for every program: wires the interpreter core
// to the layers above it (the primitive families, the system commands),
// then starts it. Front ends and tests call this, never init_interpreter.
#pragma once

void start_interpreter();
