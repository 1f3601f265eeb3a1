#include "query.h"
const char *const query_script_lines[] = {")fcopy standard", "[]IO<-0"};
const i64 query_script_line_count = 2;
