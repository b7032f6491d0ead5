#pragma once

#include <windows.h>

#include <string>

// Text the tool's commands share.

// "left,top,right,bottom".
std::string rectText(const RECT& r);

// UTF-8 and UTF-16; an unpaired surrogate becomes U+FFFD.
std::wstring wide(const std::string& utf8);
std::string utf8(const std::wstring& wide);

// The text with its control characters escaped as JSON writes them ("\n", "\u0001"), so
// that a title cannot break a table's row.
std::string escapeControls(const std::string& text);

// Why a Windows call failed, as the system words it, without the line end; the subject (a
// file's or a program's name) stands where the system's text has its place ("%1").
std::string systemMessage(DWORD error, const std::string& subject = "");

// The message for an adapter id that no monitor has, naming the ones there are.
std::string unknownAdapter(const std::string& adapter);

// "1 window", "2 windows".
std::string count(unsigned int n, const char* what);
