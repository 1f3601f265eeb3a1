// The IDE's view of the interpreter: the few entry points and globals the
// windows call.
#pragma once
#include "core/session.h"
#include "core/output.h"
#include "core/tables.h"
#include "core/names.h"
#include "core/symbols.h"
#include "system/scripts.h"
#include "system/commands.h"
