#pragma once
// A portable stand-in for the framework types that the GIF reader's loading path uses, so that the
// header, block, colour-map, extension and LZW code builds and runs on Linux with gcc and clang
// (sanitizers, libFuzzer, benchmarks). Names and contracts follow framework/*.h; only what the
// reader touches is here. Nothing draws: GDI handles exist only as types and are never created.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "framework/Types.h"

#define KX_API

struct HPALETTE__;
struct HBITMAP__;
struct HDC__;
using HPALETTE = HPALETTE__*;
using HBITMAP = HBITMAP__*;
using HDC = HDC__*;

namespace vcl {

// ---- exceptions -------------------------------------------------------------------------------

class Exception : public std::exception {
 public:
  explicit Exception(std::wstring message);
  const std::wstring& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FWhat.c_str(); }

 private:
  std::wstring FMessage;
  std::string FWhat;
};

#define KX_DECLARE_EXCEPTION(Name, Base) \
  class Name : public Base {             \
   public:                               \
    using Base::Base;                    \
  };

KX_DECLARE_EXCEPTION(EOutOfMemory, Exception)
KX_DECLARE_EXCEPTION(EAbort, Exception)
KX_DECLARE_EXCEPTION(EListError, Exception)
KX_DECLARE_EXCEPTION(EConvertError, Exception)
KX_DECLARE_EXCEPTION(EAbstractError, Exception)
KX_DECLARE_EXCEPTION(EInvalidCast, Exception)
KX_DECLARE_EXCEPTION(EInvalidGraphic, Exception)
KX_DECLARE_EXCEPTION(EInvalidGraphicOperation, Exception)
KX_DECLARE_EXCEPTION(EStreamError, Exception)
KX_DECLARE_EXCEPTION(EReadError, EStreamError)
KX_DECLARE_EXCEPTION(EWriteError, EStreamError)
KX_DECLARE_EXCEPTION(EFOpenError, EStreamError)
KX_DECLARE_EXCEPTION(EFCreateError, EStreamError)

// ---- objects and lists ------------------------------------------------------------------------

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

class TPersistent : public TObject {
 public:
  virtual void Assign(TPersistent* Source);

 protected:
  virtual void AssignTo(TPersistent* Dest);
};

class TList : public TObject {
 public:
  int Add(void* Item);
  void Insert(int Index, void* Item);
  void Delete(int Index);
  void Exchange(int Index1, int Index2);
  void Move(int CurIndex, int NewIndex);
  int IndexOf(void* Item) const;
  int Remove(void* Item);
  void* First() const;
  void* Last() const;
  virtual void Clear() { FList.clear(); }
  int Count() const { return static_cast<int>(FList.size()); }
  void* Items(int Index) const;
  void SetItem(int Index, void* Item);

 private:
  [[noreturn]] static void Error(int Index);
  std::vector<void*> FList;
};

class TStringList : public TPersistent {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  std::wstring Strings(int Index) const;
  std::wstring operator[](int Index) const { return Strings(Index); }
  int Add(const std::wstring& S);
  void Clear() { FItems.clear(); }
  std::wstring Text() const;

 private:
  std::vector<std::wstring> FItems;
};

// ---- streams ----------------------------------------------------------------------------------

enum TSeekOrigin : std::uint8_t { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
 public:
  virtual std::int64_t Read(void* Buffer, std::int64_t Count) = 0;
  virtual std::int64_t Write(const void* Buffer, std::int64_t Count) = 0;
  virtual std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) = 0;
  std::int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(std::int64_t Pos) { Seek(Pos, soBeginning); }
  virtual std::int64_t Size();
  void ReadBuffer(void* Buffer, std::int64_t Count);
  void WriteBuffer(const void* Buffer, std::int64_t Count);
};

class TCustomMemoryStream : public TStream {
 public:
  std::int64_t Read(void* Buffer, std::int64_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(FData.size()); }
  const std::uint8_t* Memory() const { return reinterpret_cast<const std::uint8_t*>(FData.data()); }

 protected:
  std::string FData;
  std::int64_t FPosition = 0;
};

class TMemoryStream : public TCustomMemoryStream {
 public:
  std::int64_t Write(const void* Buffer, std::int64_t Count) override;
  void Clear();
};

class TStringStream : public TMemoryStream {
 public:
  explicit TStringStream(std::string Data = {}) { FData = std::move(Data); }
  const std::string& DataString() const { return FData; }
};

enum : std::uint16_t { fmOpenRead = 0x0000, fmShareDenyWrite = 0x0020, fmCreate = 0xFF00 };

class TFileStream : public TStream {
 public:
  // The name is taken as UTF-8 bytes on this side (characters above 0x7F are not expected).
  TFileStream(const std::wstring& FileName, std::uint16_t Mode);
  ~TFileStream() override;
  std::int64_t Read(void* Buffer, std::int64_t Count) override;
  std::int64_t Write(const void* Buffer, std::int64_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;

 private:
  std::FILE* FFile = nullptr;
};

// ---- pictures ---------------------------------------------------------------------------------

using TColor = std::int32_t;
enum TPixelFormat : std::uint8_t { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TProgressStage : std::uint8_t { psStarting, psRunning, psEnding };
using TProgressEvent = std::function<void(TObject* Sender, TProgressStage Stage, std::uint8_t PercentDone,
                                          bool RedrawNow, const TRect& R, const std::wstring& Msg)>;

class TCanvas;

class TGraphic : public TPersistent {
 public:
  virtual TGraphic* NewGraphic() const = 0;
  virtual void Draw(TCanvas* ACanvas, const TRect& Rect) = 0;
  bool Empty() { return GetEmpty(); }
  int Width() { return GetWidth(); }
  int Height() { return GetHeight(); }
  virtual void SetWidth(int Value) = 0;
  virtual void SetHeight(int Value) = 0;
  HPALETTE Palette() { return GetPalette(); }
  virtual void SetPalette(HPALETTE) {}
  bool Modified() const { return FModified; }
  bool PaletteModified() const { return FPaletteModified; }
  void SetPaletteModified(bool Value) { FPaletteModified = Value; }
  virtual bool Equals(TGraphic* Graphic) { return Graphic == this; }
  virtual void LoadFromStream(TStream& Stream) = 0;
  virtual void SaveToStream(TStream& Stream) = 0;
  virtual void LoadFromFile(const std::wstring& FileName);
  virtual void SaveToFile(const std::wstring& FileName);
  const TNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent Value) { FOnChange = std::move(Value); }
  const TProgressEvent& OnProgress() const { return FOnProgress; }
  void SetOnProgress(TProgressEvent Value) { FOnProgress = std::move(Value); }
  virtual void Changed(TObject* Sender);
  void Progress(TObject* Sender, TProgressStage Stage, std::uint8_t PercentDone, bool RedrawNow, const TRect& R,
                const std::wstring& Msg);
  virtual void ReadData(TStream& Stream) { LoadFromStream(Stream); }
  virtual void WriteData(TStream& Stream) { SaveToStream(Stream); }

 protected:
  TGraphic() = default;
  virtual bool GetEmpty() = 0;
  virtual int GetWidth() = 0;
  virtual int GetHeight() = 0;
  virtual HPALETTE GetPalette() { return nullptr; }

 private:
  TNotifyEvent FOnChange;
  TProgressEvent FOnProgress;
  bool FModified = false;
  bool FPaletteModified = false;
};

// Only named on this side: the native build never renders, so no bitmap is ever made.
class TBitmap : public TGraphic {
 protected:
  TBitmap() = default;
};

// Owners of GDI handles; on this side no handle is ever created, so there is nothing to release.
template <class H>
class TUniqueGdiHandle {
 public:
  TUniqueGdiHandle() = default;
  explicit TUniqueGdiHandle(H h) : FHandle(h) {}
  TUniqueGdiHandle(TUniqueGdiHandle&& o) noexcept : FHandle(std::exchange(o.FHandle, H{})) {}
  TUniqueGdiHandle& operator=(TUniqueGdiHandle&& o) noexcept {
    FHandle = std::exchange(o.FHandle, H{});
    return *this;
  }
  H Get() const { return FHandle; }
  explicit operator bool() const { return FHandle != H{}; }
  H Release() { return std::exchange(FHandle, H{}); }
  void Reset(H h = H{}) { FHandle = h; }

 private:
  H FHandle{};
};
using TUniqueBitmap = TUniqueGdiHandle<HBITMAP>;
using TUniquePalette = TUniqueGdiHandle<HPALETTE>;

}  // namespace vcl
