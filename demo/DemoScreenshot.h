#pragma once
#include <windows.h>

#include <string>

// Saves what the window shows (frame included) as a PNG file through Windows Imaging Component.
bool SaveWindowPng(HWND wnd, const std::wstring& fileName);
