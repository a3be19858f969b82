#include "sandbox/pictures.h"

#include <cstdint>

namespace mirabex::sandbox {
namespace {

void put16be(std::string& out, unsigned value) {
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
  out.push_back(static_cast<char>(value & 0xFF));
}

void put32be(std::string& out, std::uint32_t value) {
  put16be(out, value >> 16);
  put16be(out, value & 0xFFFF);
}

void put16le(std::string& out, unsigned value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void put32le(std::string& out, std::uint32_t value) {
  put16le(out, value & 0xFFFF);
  put16le(out, value >> 16);
}

std::uint32_t crc32(std::string_view bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::uint32_t adler32(std::string_view bytes) {
  std::uint32_t a = 1, b = 0;
  for (unsigned char byte : bytes) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  return (b << 16) | a;
}

// Three colour bytes that follow from the tag, so pictures differ to the eye as well.
void colourOf(std::string_view tag, unsigned char rgb[3]) {
  std::uint32_t h = crc32(tag);
  rgb[0] = static_cast<unsigned char>(h);
  rgb[1] = static_cast<unsigned char>(h >> 8);
  rgb[2] = static_cast<unsigned char>(h >> 16);
}

// An 8 x 8 grey baseline JPEG: every block is DC 0 with an immediate end-of-block.
std::string jpeg(std::string_view tag) {
  std::string out("\xFF\xD8", 2);
  out += std::string("\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 18);
  std::string comment(tag.substr(0, 60000));
  out += "\xFF\xFE";
  put16be(out, static_cast<unsigned>(comment.size() + 2));
  out += comment;
  out += std::string("\xFF\xDB\x00\x43\x00", 5) + std::string(64, '\x01');
  out += std::string("\xFF\xC0\x00\x0B\x08\x00\x08\x00\x08\x01\x01\x11\x00", 13);
  for (char tableClass : {'\x00', '\x10'}) {
    out += std::string("\xFF\xC4\x00\x14", 4);
    out.push_back(tableClass);
    out.push_back('\x01');
    out += std::string(15, '\x00');
    out.push_back('\x00');
  }
  out += std::string("\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00", 10);
  out.push_back('\x3F');  // DC code "0", EOB code "0", padded with ones
  out += "\xFF\xD9";
  return out;
}

void pngChunk(std::string& out, std::string_view type, std::string_view data) {
  put32be(out, static_cast<std::uint32_t>(data.size()));
  std::string typed(type);
  typed += data;
  out += typed;
  put32be(out, crc32(typed));
}

// A 1 x 1 RGB PNG, its pixel data in one stored deflate block.
std::string png(std::string_view tag) {
  std::string out("\x89PNG\r\n\x1A\n", 8);
  std::string header;
  put32be(header, 1);
  put32be(header, 1);
  header += std::string("\x08\x02\x00\x00\x00", 5);
  pngChunk(out, "IHDR", header);
  pngChunk(out, "tEXt", std::string("Comment") + '\0' + std::string(tag));
  unsigned char rgb[3];
  colourOf(tag, rgb);
  std::string raw(1, '\0');
  raw.append(reinterpret_cast<const char*>(rgb), 3);
  std::string zlib("\x78\x01\x01\x04\x00\xFB\xFF", 7);
  zlib += raw;
  put32be(zlib, adler32(raw));
  pngChunk(out, "IDAT", zlib);
  pngChunk(out, "IEND", "");
  return out;
}

// A 1 x 1 GIF with the tag in a comment extension.
std::string gif(std::string_view tag) {
  std::string out("GIF89a\x01\x00\x01\x00\x80\x00\x00", 13);
  unsigned char rgb[3];
  colourOf(tag, rgb);
  out.append(reinterpret_cast<const char*>(rgb), 3);
  out += std::string("\xFF\xFF\xFF", 3);
  out += "\x21\xFE";
  for (size_t at = 0; at < tag.size(); at += 255) {
    std::string_view block = tag.substr(at, 255);
    out.push_back(static_cast<char>(block.size()));
    out += block;
  }
  out.push_back('\0');
  out += std::string("\x2C\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3B", 16);
  return out;
}

// A 1 x 1 24-bit BMP; the tag follows the pixel row and is counted in the file size.
std::string bmp(std::string_view tag) {
  std::string pixels;
  unsigned char rgb[3];
  colourOf(tag, rgb);
  pixels.push_back(static_cast<char>(rgb[2]));
  pixels.push_back(static_cast<char>(rgb[1]));
  pixels.push_back(static_cast<char>(rgb[0]));
  pixels.push_back('\0');
  std::string out("BM");
  put32le(out, static_cast<std::uint32_t>(54 + pixels.size() + tag.size()));
  put32le(out, 0);
  put32le(out, 54);
  put32le(out, 40);
  put32le(out, 1);
  put32le(out, 1);
  put16le(out, 1);
  put16le(out, 24);
  put32le(out, 0);
  put32le(out, static_cast<std::uint32_t>(pixels.size()));
  put32le(out, 2835);
  put32le(out, 2835);
  put32le(out, 0);
  put32le(out, 0);
  out += pixels;
  out += tag;
  return out;
}

}  // namespace

std::string pictureBytes(PictureKind kind, std::string_view tag) {
  switch (kind) {
    case PictureKind::Jpeg:
      return jpeg(tag);
    case PictureKind::Png:
      return png(tag);
    case PictureKind::Gif:
      return gif(tag);
    case PictureKind::Bmp:
      return bmp(tag);
    case PictureKind::Unknown:
      return "SANDBOX-UNKNOWN-PICTURE\n" + std::string(tag);
    case PictureKind::Empty:
    case PictureKind::Missing:
      return {};
  }
  return {};
}

std::string missingPictureBody() {
  return "<html><head><title>404 Not Found</title></head><body><h1>404 Not Found</h1></body></html>";
}

}  // namespace mirabex::sandbox
