#pragma once
// KXUtil: looking into any data object, naming clipboard formats and storage media, and moving
// clipboard data between Windows handles and byte strings.
//
// A byte string is a std::string used as a byte buffer: its size is the byte count and it may hold
// NULs. Lists returned here are new and belong to the caller. Platform failures give the empty,
// false or 0 result; nothing here raises except for running out of memory.
#include <windows.h>
#include <ole2.h>

#include <optional>
#include <string>
#include <string_view>

#include "framework/Classes.h"

namespace kestrix {

// ---- inspection (a null data object gives the empty or false result) ----

// One line per format offered for reading, in the enumerator's order: ids 1 to 16 as their
// number, higher ids as their registered name (empty for ids without one); stops at an id of 0.
// Both lists stop after 10,000 entries, so an enumerator that never ends cannot hang the caller.
KX_API vcl::TStringList* DataObjFormatList(IDataObject* DataObject);
// One line per offered FORMATETC: "name",id,medium,aspect,lindex.
KX_API vcl::TStringList* DataObjFormatEtcList(IDataObject* DataObject);
// The count that Release reports after one AddRef; 0 for null.
KX_API int DataObjRefCount(IUnknown* Object);
// QueryGetData answered exactly S_OK for the named format, with DataObjectTymed/DataObjectLindex.
KX_API bool DataObjHasFormat(IDataObject* DataObject, const std::wstring& FormatName);
// The named format's data with DataObjectTymed/DataObjectLindex: the bytes of a global block, or
// for other media a pointer-sized handle or interface the caller then owns (an added reference
// for streams and storages; a copy for CF_BITMAP, CF_ENHMETAFILE and the METAFILEPICT record of
// CF_METAFILEPICT). The medium received is always released. Empty when GetData fails, when the
// object answers with a medium that was not asked for, a null handle or a block that cannot be
// locked, and for GDI or metafile media of other formats.
KX_API std::string DataObjGetFormat(IDataObject* DataObject, const std::wstring& FormatName);

// ---- naming ----

// "1".."16" stand for the standard formats; any other non-empty name is registered. 0 for "".
KX_API UINT ClipboardFormatFromString(const std::wstring& FormatName);
// "CF_TEXT".."CF_LOCALE" for 1..16, the registered name above; empty otherwise.
KX_API std::wstring ClipboardFormatDisplayName(int FormatId);
// "TYMED_HGLOBAL+TYMED_ISTREAM" style; "TYMED_NULL" for 0; the number when no known bit is set.
KX_API std::wstring StorageMediumDisplayName(int Tymed);

// ---- converters (little-endian) ----

KX_API std::string EncodeDWORDToString(DWORD Value);
// The first 4 bytes; 0 when there are fewer.
KX_API DWORD DecodeDWORDFromString(const std::string& Data);
KX_API std::string EncodeDoubleToString(double Value);
// The first 8 bytes; 0.0 when there are fewer.
KX_API double DecodeDoubleFromString(const std::string& Data);
// All bytes of the block (its full allocated size); empty when it cannot be locked.
KX_API std::string GetHandleDataToString(HGLOBAL Handle);
// A new movable, shareable block (0x2002) with the bytes and one zero byte; the caller owns it.
// 0 when allocation fails.
KX_API HGLOBAL SetHandleDataFromString(const std::string& Data);
// UTF-16LE code units as bytes, no terminator.
KX_API std::string EncodedAnsiStringFromUnicodeString(const std::wstring& Text);
// Size / 2 code units; an odd trailing byte is dropped.
KX_API std::wstring UnicodeStringFromEncodedAnsiString(std::string_view Data);

// A handle or interface pointer as a pointer-sized byte string (8 bytes in the 64-bit build, 4 in
// the 32-bit one), and back; decoding fails for a string shorter than a pointer.
KX_API std::string EncodePointerToString(const void* Value);
KX_API std::optional<void*> DecodePointerFromString(const std::string& Data);

// ---- GDI copies ----

// A device-dependent copy in the screen's format; 0 for 0 or on failure. The caller owns it.
KX_API HBITMAP CopyBitmapHandle(HBITMAP Bitmap);
// A new enhanced metafile from the record's metafile, its mapping mode and extents; 0 on failure.
// The caller owns the result; the record's metafile stays the caller's.
KX_API HENHMETAFILE EnhMFfromMetaFilePict(const METAFILEPICT& Pict);

namespace detail {
// The METAFILEPICT record at the start of a foreign block of this build's layout; nullopt when
// the block is shorter than the record. Not exported.
std::optional<METAFILEPICT> MetafilePictFromBlock(std::string_view Block);
}  // namespace detail

}  // namespace kestrix
