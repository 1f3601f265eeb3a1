// The query layer's own script, run once by the line runner when `do` is
// first used (and again after a clear): its immediate lines copy the
// library script "standard", set the index origin to 0 and the three
// globals; its function blocks define the 19 functions of the layer.
#include "query.h"

const char query_script_lines[] = R"VEK(// The query layer: SQL statements given to `do` become calls of the table functions. Its functions are hidden
// from the name listings; their locals begin with q_, so that the name of a table is never taken for one of them.
)fcopy standard
[]IO<-0
agflist<-`SUM`COUNT`MAX`MIN`FIRST
agfslist<-('+/';'^';'~./';'_./';'^.')
alphanu<-alphanum,'_.'

// The dispatcher: the first word says what the statement is; one that cannot be carried out answers with a message.
@.z<-do__v1 q_x;q_msg;q_p;q_w;q_r;q_i;q_t;q_c;q_o;q_l;q_s;q_e;q_b;q_a;[]IO
[]IO<-0; q_msg<-''; q_x<-trim q_x
z<-'no sql function specified.'; ->(0=^q_x)/0
q_p<-' ' nxt q_x; q_w<-q_p[0]; q_r<-q_p[1]
z<-'no proper sql function specified.'
->((q_w~'SELECT')&q_w~'EXEC')/QUERY
->(q_w~'CREATE')/CREATE
->(q_w~'INSERT')/INSERT
->(q_w~'LOAD')/LOAD
->0
// SELECT and EXEC: items [BY column] FROM table [WHERE conditions]
QUERY:q_p<-'FROM' nxt q_r
z<-'FROM missing in select/exec statement.'; ->(0>q_p[2])/0
q_i<-q_p[0]; q_p<-'WHERE' nxt q_p[1]; q_t<-q_p[0]
z<-'table must consist of alphanumeric characters.'; ->((0=^q_t)&~^/q_t?alphanu)/0
q_e<-'!0'; q_o<-'0'
if (0<=q_p[2]) {
  // conditions separated by commas must all hold, two joined by OR either
  q_c<-q_p[1]; q_l<-0#<.''
  q_p<-'OR' nxt q_c
  if (0<=q_p[2]) { q_o<-'1'; q_l<-(q_p[0];q_p[1]) }
  else {
    q_c<-',',q_c
    while (0<^q_c) { q_p<-',' nxt 1!.q_c; q_l<-q_l,<.q_p[0]; q_c<-(0<=q_p[2])/',',q_p[1] }
  }
  q_e<-''
  for (q_s: q_l) {
    q_s<-proc_where q_s; ->(0<^q_msg)/FAIL
    q_e<-q_e,((0<^q_e)/','),'(,<.',q_s,')'
  }
}
// the group column after BY, then the items
q_p<-'BY' nxt q_i; q_b<-'!0'
if (0<=q_p[2]) {
  q_b<-proc_sel1 q_p[1]; ->(0<^q_msg)/FAIL
  q_i<-q_p[0]
}
q_a<-'!0'
if ((~q_b~'!0')&~(0=^q_i)&q_i~,'*') {
  q_a<-''; q_c<-1
  while (q_c) {
    q_p<-',' nxt q_i
    if (q_b~'!0') q_s<-proc_sel q_p[0] else q_s<-split q_p[0]
    ->(0<^q_msg)/FAIL
    q_a<-q_a,((0<^q_a)/','),'(,<.',q_s,')'
    q_i<-q_p[1]; q_c<-0<^q_i
  }
}
q_s<-('select';'exec')[q_w~'EXEC']
q_x<-'`',q_t,' ',q_s,' (',q_e,';',q_b,';',q_a,';',q_o,')'
->(q_w~'EXEC')/EXEC
!.q_x; z<-''; ->0
EXEC:z<-!.q_x; ->0
// CREATE TABLE name (fields; 'types'; widths of the C fields)
CREATE:q_p<-' ' nxt q_r
z<-'TABLE expected.'; ->(~q_p[0]~'TABLE')/0
q_p<-'(' nxt q_p[1]; q_t<-q_p[0]
z<-'table must consist of alphanumeric characters.'; ->((0=^q_t)&~^/q_t?alphanu)/0
q_p<-';' nxt q_p[1]; q_l<-''; q_c<-q_p[0]
while (0<^q_c) { q_s<-' ' nxt q_c; q_l<-q_l,ch2sym q_s[0]; q_c<-q_s[1] }
q_p<-';' nxt q_p[1]; q_s<-q_p[0]
if (0>q_p[2]) q_s<-(-')'=last q_s)!.q_s
z<-'quote char expected.'; ->((2>^q_s)&(''''~=^.q_s)&''''~=last q_s)/0
q_s<-1!._1!.q_s; z<-'type specification does not match number of fields.'; ->((^q_s)~=+/q_l='`')/0
z<-''';'' expected.'; ->(0>q_p[2])/0
q_p<-')' nxt q_p[1]; z<-'no '')'' is ending'; ->(0>q_p[2])/0
q_c<-q_p[0]; z<-'width spec. does no match number of char fields.'; ->(~^/q_c?' 0123456789')/0
if (0=^q_c) q_c<-'!0'
->((^!.q_c)~=+/q_s='C')/0
if (0=^q_l) q_l<-'0#`'
!.'q_c<-''',q_t,''' create (',q_l,';''',q_s,''';',q_c,')'
z<-q_c; ->(3=:q_c)/0
z<-'table ',q_t,' created.'; ->0
// INSERT INTO name (values); LOAD TABLE name (CSV arguments) calls []CSV with the arguments
INSERT:q_p<-' ' nxt q_r
z<-'INTO expected.'; ->(~q_p[0]~'INTO')/0
->ROWS
LOAD:q_p<-' ' nxt q_r
z<-'TABLE expected.'; ->(~q_p[0]~'TABLE')/0
ROWS:q_p<-'(' nxt q_p[1]; q_t<-q_p[0]
z<-'table must consist of alphanumeric characters.'; ->((0=^q_t)&~^/q_t?alphanu)/0
// no argument list, or an empty one (a blank is put before the text, whose last item an empty text lacks)
z<-'no '')'' in ending.'; ->((0>q_p[2])&(')'~=last ' ',q_p[1])&0=^trim _1!.q_p[1])/0
q_a<-q_p[1]; ->(q_w~'LOAD')/FILE
!.q_t,'<-',q_t,',(',q_a
z<-'new value inserted into table ',q_t,'.'; ->0
// the loader is named by the first word: [] before anything but a name would read a line of input, so that is
// refused with the same message
FILE:q_a<-'(',q_a
if (~'['?q_a) {
  q_p<-' ' nxt 1!._1!.q_a; ->(~(1^.q_p[0])?alphabet)/0
  q_a<-'[]',q_p[0],(0<^q_p[1])/' (',q_p[1],')'
}
!.q_t,'<-',q_a; z<-'table ',q_t,' loaded.'; ->0
FAIL:z<-q_msg
@.

// The text before the first separator c outside quotes and parentheses, the text after it (both trimmed)
// and where c stands, _1 when it does not occur; a separator of several characters is a word between blanks.
@.z<-q_c nxt q_x;q_q;q_a;q_b;q_o;q_y;q_w;q_s;q_k;q_n
q_x<-,q_x; q_c<-,q_c; q_q<-~=\q_x=''''
q_a<-(q_x='(')^~q_q; q_b<-(q_x=')')^~q_q; q_o<-(~q_q)^1>(+\q_a-q_b)-q_a
q_n<-1<^q_c; q_y<-' ',q_x,' '; q_w<-q_c
if (q_n) q_w<-' ',q_c,' '
q_s<-?q_y=q_w[0]; q_k<-1
while ((q_k<^q_w)^0<^q_s) {
  q_s<-((q_s+q_k)<^q_y)/q_s
  q_s<-(q_y[q_s+q_k]=q_w[q_k])/q_s
  q_k<-q_k+1
}
q_s<-q_s-~q_n; q_s<-((q_s>=0)^q_s<^q_x)/q_s
q_s<-(q_o[q_s])/q_s; z<-(q_x;'';_1); ->(0=^q_s)/0
q_s<-q_s[0]
z<-(trim q_s^.q_x;trim (q_s+^q_c)!.q_x;q_s)
@.
// One condition as the text of the triple of its comparison (a symbol) and its two operands:
// IN and LIKE are words between blanks outside quotes, the others the first of = < > ~ outside quotes.
@.z<-proc_where q_x;q_q;q_k;q_n;q_f;q_p;q_l;q_r
z<-''; q_x<-,trim q_x; q_q<-~=\q_x=''''
q_k<-((?(~q_q)^q_x?'=<>~'),^q_x)[0]; q_n<-1
if ((q_k<^q_x)^'='=1^.(q_k+1)!.q_x) q_n<-1+q_x[q_k]?'<>~'
q_f<-q_n^.q_k!.q_x; q_p<-'IN' nxt q_x
if ((0<=q_p[2])^q_p[2]<q_k) { q_k<-q_p[2]; q_n<-2; q_f<-'?' }
q_p<-'LIKE' nxt q_x
if ((0<=q_p[2])^q_p[2]<q_k) { q_k<-q_p[2]; q_n<-4; q_f<-'like' }
q_msg<-'no comparison function in WHERE clause.'; ->(q_k=^q_x)/0
q_l<-trim q_k^.q_x; q_r<-trim (q_k+q_n)!.q_x
q_msg<-'no proper comparison function found.'; ->((0=^q_l)&(0=^q_r)&(1^.q_r)?'=<>')/0
q_msg<-'error in LIKE pattern'; ->((q_f~'like')^(2>^q_r)&(''''~=^.q_r)&''''~=last q_r)/0
q_msg<-''
q_l<-proc_op q_l; ->(0<^q_msg)/0
q_r<-proc_op q_r; ->(0<^q_msg)/0
z<-'(`',q_f,';',q_l,';',q_r,')'
@.
// The group column after BY: the text of the dictionary from its result name to the column.
@.z<-proc_sel1 q_x;q_p;q_s
z<-''; q_p<-proc_sel2 q_x
q_s<-proc_op q_p[1]; ->(0<^q_msg)/0
z<-'((,',(ch2sym q_p[0]),'):,<.',q_s,')'
@.
// A select item (name, table.column, new<-column, new<-a op b): the text of the pair of its name and what it takes.
@.z<-proc_sel q_x;q_p;q_s
z<-''; q_p<-proc_sel2 q_x
q_s<-vcol2 q_p[1]; ->(0<^q_msg)/0
z<-'(',(ch2sym q_p[0]),';',q_s,')'
@.
// A grouped item, [new<-]AGG column: the text of the pair of its name and the pair of aggregate and column.
@.z<-split q_x;q_p;q_n;q_k;q_s
z<-''; q_p<-proc_sel2 q_x
q_n<-q_p[0]; q_p<-' ' nxt q_p[1]
q_msg<-'two item list expected.'; ->((0=^q_p[1])&' '?q_p[1])/0
q_k<-agflist!sym q_p[0]
q_msg<-'aggregation function not implemented.'; ->(q_k=^agflist)/0
q_msg<-''; q_s<-proc_op q_p[1]; ->(0<^q_msg)/0
if (0>q_x index '<-') q_n<-^.proc_sel2 q_p[1]
z<-'(',(ch2sym q_n),';(''',agfslist[q_k],''';',q_s,'))'
@.
// new<-rest as the pair of the texts new and rest; without <- the name is rest with each non-alphanumeric made _.
@.z<-proc_sel2 q_x;q_k;q_n
q_x<-trim q_x; q_k<-q_x index '<-'; q_n<-q_x
q_n[?~q_n?alphanum]<-'_'
if (0<=q_k) { q_n<-trim q_k^.q_x; q_x<-trim (q_k+2)!.q_x }
z<-(q_n;q_x)
@.
// A column name as the text of its symbol (table.column the symbol pair), any other text ''.
@.z<-vcol q_x
z<-''; q_x<-,q_x; ->(0=^q_x)/0
->(~(^.q_x)?alphabet)/0
->(~^/q_x?alphanu)/0
z<-ch2sym q_x
@.
// A select item: a column, or a op b with one operator at most.
@.z<-vcol2 q_x;q_q;q_k
z<-''; q_q<-~=\q_x=''''
q_k<-?(~q_q)^q_x?'+-*%'
q_msg<-'cannot have 2 arithmetic operations.'; ->(1<+/q_k>0)/0
q_msg<-''
z<-proc_op q_x
@.
// A name as the text of its symbol; a dot makes the symbol pair.
@.z<-ch2sym q_x
z<-'`',q_x; z[?z='.']<-'`'
@.
// An operand as the text of what eval takes: a column its symbol, a op b (+ - * %) the triple, else the value enclosed.
@.z<-proc_op q_x;q_q;q_k;q_a;q_b
q_x<-trim q_x
z<-vcol q_x; ->(0<^z)/0
q_q<-~=\q_x=''''; q_k<-?(~q_q)^q_x?'+-*%'
q_k<-(q_k>0)/q_k
z<-',<.(',q_x,')'; ->(0=^q_k)/0
q_msg<-'compound expression not yet implemented.'; ->(1<^q_k)/0
q_msg<-''; q_k<-q_k[0]
q_a<-proc_op q_k^.q_x; q_b<-proc_op (q_k+1)!.q_x
z<-'(`',q_x[q_k],';',q_a,';',q_b,')'
@.
// The value of an operand in eval's table q_t: a column (a foreign key's values), table.column that column
// of that table or of the table a foreign key refers to, a op b computed, an enclosed value its content.
@.z<-col_nam q_v;q_a;q_b;q_d;q_p
z<-q_v
if ((5=:q_v)^0=^#q_v) { z<-de_enum q_t[;q_v]; ->0 }
if (5=:q_v) {
  q_a<-q_v[0]; q_b<-1!.q_v
  ->(q_a=q_n)/OWN
  ->((~q_a?cls)&~isfk q_a)/OTHER
  q_d<-!.fks[q_a]
  q_p<-(key q_d)[;^.cols key q_d]!value q_t[;q_a]
  if (q_b?cols key q_d) q_d<-key q_d else q_d<-value q_d
  z<-(q_d[;^.q_b])[q_p]; ->0
OWN:z<-col_nam ^.q_b; ->0
OTHER:z<-(!.q_a)[;^.q_b]; ->0
}
->(6~=:q_v)/0
z<-^.q_v; ->(1=^q_v)/0
q_a<-col_nam q_v[1]; q_b<-col_nam q_v[2]
z<-!.'q_a ',(('+';'-';'*';'%')[(`+`-`*`%)!q_v[0]]),' q_b'
@.
// 1 when column q_c of eval's table is a foreign key (an enumeration).
@.z<-isfk q_c
z<-0; ->(91~=:fks)/0
z<-q_c?key fks
@.
// The values of an enumeration; any other value as it is.
@.z<-de_enum q_v
z<-q_v; ->(21~=:q_v)/0
z<-value q_v
@.
// The empty column of a type letter; C of width 2 or more an empty matrix.
@.z<-q_w addwth q_c
z<-(!0;!0;0#0.5;'';0#`)['BIECS'!q_c]
->((q_c~='C')&q_w<2)/0
z<-(0,q_w)#' '
@.
// An empty table of the named columns, assigned to the name q_n (a text).
@.z<-q_n create q_a;q_f;q_t;q_w;q_c;q_k;q_x
q_f<-,q_a[0]; q_t<-,q_a[1]; q_w<-,q_a[2]
z<-'table must have at least one column.'; ->(0=^q_f)/0
z<-'under or over type specification.'; ->(((^q_f)~=^q_t)&~^/q_t?'BIECS')/0
z<-'width spec not match number of char columns.'; ->((^q_w)~=+/q_t='C')/0
q_c<-0#<.''; q_k<-0
for (q_x: q_t) {
  q_c<-q_c,<.((q_w,0)[q_k]) addwth q_x
  q_k<-q_k+q_x='C'
}
z<-&.q_f:q_c; !.q_n,'<-z'
@.
// The rows of table q_n that meet the conditions, and the items asked for: a dictionary of columns,
// grouped a keyed table. q_a holds the conditions, the group column, the items and the OR flag.
@.z<-q_n eval q_a;q_t;q_w;q_b;q_i;q_m;q_c;q_o;q_l;q_r;q_x;q_g;q_u;q_s;q_k;q_v;fks;cls
q_t<-!.q_n
if (91=:q_t) q_t<-(0#<.'') xkey q_t
cls<-cols q_t; fks<-fkeys q_t
q_w<-q_a[0]; q_b<-q_a[1]; q_i<-q_a[2]; q_m<-1
if (6=:q_w) {
  q_m<-!0
  for (q_c: q_w) {
    q_l<-col_nam q_c[1]; q_r<-col_nam q_c[2]
    q_o<-(`=`<`>`<=`>=`~=`~`?`like)!q_c[0]
    if ((6=:q_l)^q_o?0 5 7) {
      // texts are equal when their lengths and then their characters are
      if (3=:q_r) q_r<-<.,q_r
      q_x<-(^q_l)#0
      for (q_s: q_r) {
        q_s<-,q_s; q_k<-?("^q_l)=^q_s
        q_x[q_k]<-q_x[q_k]&^/((^q_k),^q_s)#(,.q_l[q_k])=((^q_k)*^q_s)#q_s
      }
      if (q_o=5) q_x<-~q_x
    } else if (q_o=8) {
      if (3=:q_l) q_l<-1"#q_l
      if (6=:q_l) q_x<-q_l like q_r else {
        // other cells are matched by their text, once per distinct value
        q_u<-=q_l
        q_s<-([] q_s<-+.((^q_u),1)#q_u)[;`q_s]
        q_x<-(("trim q_s) like q_r)[q_u!q_l]
      }
    } else {
      if ((q_o=7)^6=:q_r) q_r<-,.q_r
      q_x<-!.'q_l ',(('=';'<';'>';'<=';'>=';'~=';'~';'?')[q_o]),' q_r'
    }
    if (0=^q_m) q_m<-q_x else if (q_a[3]) q_m<-q_m&q_x else q_m<-q_m^q_x
  }
  if (0=^#q_m) q_m<-(#q_t)#q_m
}
q_s<-0#`; q_r<-0#<.''
if (91=:q_b) {
  q_g<-col_nam ^.value q_b
  if (0<^#q_m) q_g<-q_m/q_g
  q_u<-q_g; q_g<-0#<.''
  if (0<^q_u) { q_g<->.q_u; q_u<-q_u[,."^.q_g] }
  for (q_c: q_i) {
    q_x<-q_c[1]; q_v<-col_nam q_x[1]
    if (0<^#q_m) q_v<-q_m/q_v
    q_k<-6=:q_v
    if (0<^q_g) q_v<-!.'"',q_x[0],' q_v[q_g]' else q_v<-0#q_v
    if (~q_k) q_v<-,.q_v
    q_s<-q_s,q_c[0]; q_r<-q_r,<.q_v
  }
  z<-(&.(key q_b):,<.q_u):&.q_s:q_r; ->0
}
if (6~=:q_i) q_i<-cls",cls
for (q_c: q_i) {
  q_v<-col_nam q_c[1]
  if (0<^#q_m) q_v<-q_m/q_v
  q_s<-q_s,q_c[0]; q_r<-q_r,<.q_v
}
z<-q_s:q_r
@.
// SELECT: the rows as a table (a grouped one as a keyed table).
@.z<-q_n select q_a
z<-q_n eval q_a
if (92~=:key z) z<-&.z
@.
// EXEC: the dictionary of columns, or the values of its only column.
@.z<-q_n exec q_a
z<-q_n eval q_a; ->(92=:key z)/0
->(1~=^key z)/0
z<-^.value z
@.
)VEK";
