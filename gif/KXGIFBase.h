#pragma once
// The GIF reader's common ground: versions, severities and the warning event, the exception, the
// base classes of stream items and item lists.
#include <cstdint>
#include <functional>
#include <string>

#include "gif/KXGIFFramework.h"

namespace kestrix {

class TGIFImage;
class TGIFHeader;
class TGIFSubImage;

enum TGIFVersion : std::uint8_t { gvUnknown, gv87a, gv89a };
// A version as written in the header, three characters.
struct TGIFVersionRec {
  char Chars[3];
};
enum TGIFSeverity : std::uint8_t { gsInfo, gsWarning, gsError };
// Lesser problems met while reading; the reader goes on after raising it.
using TGIFWarning = std::function<void(vcl::TObject* Sender, TGIFSeverity Severity, const std::wstring& Message)>;

// Every error of the GIF reader, with one of its fixed messages.
class KX_API GIFException : public vcl::Exception {
 public:
  using vcl::Exception::Exception;
};

// A part of a GIF stream that belongs to an image. Warnings go to the image's OnWarning.
class KX_API TGIFItem : public vcl::TPersistent {
 public:
  explicit TGIFItem(TGIFImage* GIFImage);

  virtual TGIFVersion GetVersion();
  virtual void Warning(TGIFSeverity Severity, const std::wstring& Message);
  virtual void SaveToStream(vcl::TStream& Stream) = 0;
  virtual void LoadFromStream(vcl::TStream& Stream) = 0;
  // Unsupported: raises GIFException.
  virtual void SaveToFile(const std::wstring& Filename);
  // Opens the file for reading (deny-write sharing) and loads it with LoadFromStream.
  virtual void LoadFromFile(const std::wstring& Filename);

  TGIFImage* Image() const { return FGIFImage; }

 protected:
  TGIFImage* FGIFImage;  // not owned
};

// A list that owns its items: Delete and Clear free them; Remove, Exchange, Move, Insert and
// SetItem only rearrange the list.
class KX_API TGIFList : public vcl::TPersistent {
 public:
  explicit TGIFList(TGIFImage* Image);
  ~TGIFList() override;

  virtual void Warning(TGIFSeverity Severity, const std::wstring& Message);
  // Unsupported: raises GIFException.
  virtual void SaveToStream(vcl::TStream& Stream);
  virtual void LoadFromStream(vcl::TStream& Stream, vcl::TObject* Parent) = 0;

  int Add(TGIFItem* Item);
  void Clear();
  void Delete(int Index);
  void Exchange(int Index1, int Index2);
  TGIFItem* First() const;
  int IndexOf(TGIFItem* Item) const;
  void Insert(int Index, TGIFItem* Item);
  TGIFItem* Last() const;
  void Move(int CurIndex, int NewIndex);
  int Remove(TGIFItem* Item);
  TGIFItem* GetItem(int Index) const;
  void SetItem(int Index, TGIFItem* Item);
  int Count() const { return FItems.Count(); }
  vcl::TList* List() { return &FItems; }
  TGIFImage* Image() const { return FImage; }

 protected:
  vcl::TList FItems;
  TGIFImage* FImage;  // not owned
};

namespace gifdetail {

// Raises GIFException "This feature is not available in this read-only TGIFImage".
[[noreturn]] void RaiseNotAvailable();
// Reads Count bytes or raises GIFException "Premature end of data".
void ReadExact(vcl::TStream& Stream, void* Buffer, std::int64_t Count);
// Reads one byte; false at the end of the stream.
inline bool ReadByte(vcl::TStream& Stream, std::uint8_t& Value) { return Stream.Read(&Value, 1) == 1; }
// Puts the last byte read back.
inline void PutBack(vcl::TStream& Stream) { Stream.Seek(-1, vcl::soCurrent); }

}  // namespace gifdetail

}  // namespace kestrix
