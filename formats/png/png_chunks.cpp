#include "formats/png/png_chunks.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "support/error.h"
#include "support/messages.h"

namespace tolvane::png {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

[[noreturn]] void Fail(std::string_view message) { throw Error(std::string(message)); }

}  // namespace

std::uint32_t CrcOf(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
  // zlib takes lengths as uInt; feed large spans in parts.
  while (!bytes.empty()) {
    const std::size_t part = std::min<std::size_t>(bytes.size(), 1u << 30);
    crc = static_cast<std::uint32_t>(::crc32(crc, bytes.data(), static_cast<uInt>(part)));
    bytes = bytes.subspan(part);
  }
  return crc;
}

std::uint32_t CrcStart(const ChunkType& type) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(type.data());
  return CrcOf(static_cast<std::uint32_t>(::crc32(0, nullptr, 0)), {bytes, type.size()});
}

ChunkReader::ChunkReader(ByteSource& file) : file_(file), buffer_(kBufferSize) {}

std::size_t ChunkReader::Read(std::uint8_t* out, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    if (begin_ == end_) {
      // Large reads (the image data's pieces) bypass the buffer.
      if (count - done >= 4096) {
        const std::size_t got = file_.Read(out + done, count - done);
        return done + got;
      }
      begin_ = 0;
      end_ = file_.Read(buffer_.data(), buffer_.size());
      if (end_ == 0) break;
    }
    const std::size_t part = std::min(count - done, end_ - begin_);
    std::memcpy(out + done, buffer_.data() + begin_, part);
    begin_ += part;
    done += part;
  }
  return done;
}

void ChunkReader::Skip(std::uint64_t count) {
  const std::uint64_t buffered = std::min<std::uint64_t>(count, end_ - begin_);
  begin_ += static_cast<std::size_t>(buffered);
  if (count > buffered) file_.Skip(count - buffered);
}

bool ChunkReader::ReadSignature() {
  std::uint8_t bytes[sizeof kSignature] = {};
  return Read(bytes, sizeof bytes) == sizeof bytes &&
         std::memcmp(bytes, kSignature, sizeof bytes) == 0;
}

ChunkHeader ChunkReader::ReadHeader() {
  std::uint8_t bytes[8] = {};
  if (Read(bytes, 8) != 8) Fail(messages::kPngUnexpectedEnd);
  ChunkHeader header;
  header.length = LoadBe32(bytes);
  std::memcpy(header.type.data(), bytes + 4, 4);
  return header;
}

std::vector<std::uint8_t> ChunkReader::ReadData(const ChunkHeader& header) {
  std::vector<std::uint8_t> data;
  std::uint64_t left = header.length;
  while (left > 0) {
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(left, kBufferSize));
    const std::size_t old = data.size();
    data.resize(old + piece);
    const std::size_t got = Read(data.data() + old, piece);
    data.resize(old + got);
    if (got < piece) break;
    left -= piece;
  }
  CheckCrc(CrcOf(CrcStart(header.type), data));
  return data;
}

void ChunkReader::CheckCrc(std::uint32_t crc) {
  std::uint8_t bytes[4] = {};
  if (Read(bytes, 4) != 4 || LoadBe32(bytes) != crc) Fail(messages::kPngCrcError);
}

IdatSource::IdatSource(ChunkReader& reader, std::uint32_t firstLength)
    : reader_(reader), remaining_(firstLength), crc_(CrcStart(kIDAT)), piece_(kMaxIdatPiece) {}

std::span<const std::uint8_t> IdatSource::Fetch() {
  if (fileEnded_) return {};
  // Each turn either fetches data or consumes a chunk header, so the loop
  // ends at the latest where the file does.
  while (remaining_ == 0) {
    reader_.CheckCrc(crc_);
    std::uint8_t bytes[8] = {};
    const std::size_t got = reader_.Read(bytes, 8);
    if (got != 8 || std::memcmp(bytes + 4, kIDAT.data(), 4) != 0)
      Fail(messages::kPngMissingImagePart);
    remaining_ = LoadBe32(bytes);
    crc_ = CrcStart(kIDAT);
  }
  const std::size_t want =
      static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, piece_.size()));
  const std::size_t got = reader_.Read(piece_.data(), want);
  if (got < want) fileEnded_ = true;
  remaining_ -= got;
  const std::span<const std::uint8_t> piece(piece_.data(), got);
  crc_ = CrcOf(crc_, piece);
  return piece;
}

void IdatSource::Finish() {
  while (remaining_ > 0 && !fileEnded_) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, piece_.size()));
    const std::size_t got = reader_.Read(piece_.data(), want);
    if (got < want) fileEnded_ = true;
    remaining_ -= got;
    crc_ = CrcOf(crc_, {piece_.data(), got});
  }
  reader_.CheckCrc(crc_);
}

}  // namespace tolvane::png
