// Lists of text lines (a head node that holds no line, then one node per
// line), the form in which function texts, scripts and listings travel.
#pragma once
#include "tables.h"

TextLine *new_text_line();
// Gives node its own copy of text (reusing its buffer when it fits).
void set_text_line(TextLine *node, const char *text);
// Frees the whole list, head included.
void free_text_lines(TextLine *list);
// Appends a new line holding text after node; returns the new node.
TextLine *append_text_line(TextLine *node, const char *text);
// Line i of a list (0 = the first line after the head node), or null.
TextLine *text_line_at(TextLine *head, i64 i);
// The same, creating the missing nodes.
TextLine *ensure_text_line(TextLine *head, i64 i);
