#pragma once
#include <windows.h>

#include <string>

// Saves what the window shows (frame included) as a PNG file through Windows Imaging Component.
bool SaveWindowPng(HWND wnd, const std::wstring& fileName);

// Whether the control draws each character of Text with a glyph of its own, in the control's own
// font and the fonts linked to it. A character that no font covers is drawn as the same box as
// every other such character, so two characters drawn alike, or one drawn as nothing, mean boxes.
bool DrawsDistinctGlyphs(HWND control, const std::wstring& text);
