// The library's front door for every program: wires the interpreter core
// and the primitives to the layers above them (the primitive families, the
// system commands, the script run that loads the query layer), then starts
// it. Front ends and tests call this, never init_interpreter.
#pragma once

void start_interpreter();
