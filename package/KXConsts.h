#pragma once
// The library's message texts and fixed strings, one place for all of them.
namespace kestrix::res {

// 65475: the line break between dropped file names and between donor lines.
inline constexpr const wchar_t* sLineBreak = L"\r\n";

// Raised by TKXFileSource::AddVirtualFile for a name with nothing but separators.
inline constexpr const wchar_t* sNotAPicture = L"The image bytes are not a picture";
inline constexpr const wchar_t* sVirtualFileNeedsName = L"A virtual file needs a name";
inline constexpr const wchar_t* sVirtualFileClimbsOut = L"A virtual file's name may not hold \"..\"";

// 65476: asked at design time when an acceptor control already has a target; five %s arguments.
inline constexpr const wchar_t* sAcceptorInUse =
    L"Each OLE target component must have a unique TWinControl designated as its AcceptorControl.\r\n\r\n"
    L"%s has already been designated as %s.AcceptorControl.  If you want to designate %s instead as "
    L"%s.AcceptorControl, %s.AcceptorControl must first be set to nil.\r\n\r\n Do you want to do this?";

// The browser's network automation object and the content types it reports.
inline constexpr const wchar_t* sNetscapeNetworkProgID = L"Netscape.Network.1";
inline constexpr const wchar_t* sContentTypeBMP = L"image/x-MS-bmp";
inline constexpr const wchar_t* sContentTypeGIF = L"image/gif";
inline constexpr const wchar_t* sContentTypeJPEG = L"image/jpeg";
inline constexpr const wchar_t* sContentTypePNG = L"image/png";

}  // namespace kestrix::res
