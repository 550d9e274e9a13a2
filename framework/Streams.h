#pragma once
// Byte streams: the abstract TStream and its memory, file and string forms. Portable: the file
// stream's system calls live in StreamsWin32.cpp and StreamsPosix.cpp.
#include <cstdint>
#include <string>

#include "framework/Classes.h"

namespace vcl {

enum TSeekOrigin : std::uint8_t { soBeginning, soCurrent, soEnd };

class KX_API TStream : public TObject {
 public:
  // Read and Write move up to Count bytes and return how many moved.
  virtual std::int64_t Read(void* Buffer, std::int64_t Count) = 0;
  virtual std::int64_t Write(const void* Buffer, std::int64_t Count) = 0;
  virtual std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) = 0;

  std::int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(std::int64_t Pos) { Seek(Pos, soBeginning); }
  virtual std::int64_t Size();
  virtual void SetSize(std::int64_t NewSize);

  // Raise EReadError / EWriteError when fewer than Count bytes move.
  void ReadBuffer(void* Buffer, std::int64_t Count);
  void WriteBuffer(const void* Buffer, std::int64_t Count);
  // Copies Count bytes from Source's position (the whole of Source from its start when Count is 0).
  std::int64_t CopyFrom(TStream& Source, std::int64_t Count);
};

class KX_API TCustomMemoryStream : public TStream {
 public:
  std::int64_t Read(void* Buffer, std::int64_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(FData.size()); }
  const std::uint8_t* Memory() const { return reinterpret_cast<const std::uint8_t*>(FData.data()); }
  std::uint8_t* Memory() { return reinterpret_cast<std::uint8_t*>(FData.data()); }
  void SaveToStream(TStream& Stream);
  void SaveToFile(const std::wstring& FileName);

 protected:
  std::string FData;
  std::int64_t FPosition = 0;
};

class KX_API TMemoryStream : public TCustomMemoryStream {
 public:
  std::int64_t Write(const void* Buffer, std::int64_t Count) override;
  void SetSize(std::int64_t NewSize) override;
  void Clear();
  void LoadFromStream(TStream& Stream);
  void LoadFromFile(const std::wstring& FileName);
};

// A memory stream over a byte string; DataString is the whole content.
class KX_API TStringStream : public TMemoryStream {
 public:
  explicit TStringStream(std::string Data = {});
  explicit TStringStream(const std::wstring& Text);  // stored in the system ANSI code page
  const std::string& DataString() const { return FData; }
};

enum : std::uint16_t {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFF00,
};

class KX_API TFileStream : public TStream {
 public:
  // Raises EFOpenError (or EFCreateError for fmCreate) when the file cannot be opened; a folder
  // cannot. Outside Windows the name goes to the system as UTF-8 and the sharing modes are not
  // enforced (the system has no such locks).
  TFileStream(const std::wstring& FileName, std::uint16_t Mode);
  ~TFileStream() override;
  std::int64_t Read(void* Buffer, std::int64_t Count) override;
  std::int64_t Write(const void* Buffer, std::int64_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(std::int64_t NewSize) override;
  const std::wstring& FileName() const { return FFileName; }

 private:
  void* FHandle;
  std::wstring FFileName;
};

}  // namespace vcl
