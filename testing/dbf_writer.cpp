#include "testing/dbf_writer.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#ifdef _WIN32
#include "os/wide_text.h"
#endif

namespace tarvelo::testing {
namespace {

void PutLe16(std::string& out, size_t at, uint32_t value) {
  out[at] = static_cast<char>(value & 0xFF);
  out[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void PutLe32(std::string& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string Fit(const std::string& text, int width, bool rightAlign) {
  if (static_cast<int>(text.size()) >= width) return text.substr(0, width);
  std::string pad(width - text.size(), ' ');
  return rightAlign ? pad + text : text + pad;
}

}  // namespace

DbfWriter::DbfWriter(std::vector<DbfFieldSpec> fields, uint8_t versionByte)
    : fields_(std::move(fields)), version_(versionByte) {
  for (const auto& f : fields_) recordLength_ += f.length;
}

int DbfWriter::HeaderLength() const { return 32 + 32 * static_cast<int>(fields_.size()) + 1; }

std::string DbfWriter::HeaderBytes(uint32_t recordCount) const {
  std::string out(HeaderLength(), '\0');
  out[0] = static_cast<char>(version_);
  out[1] = static_cast<char>(126);  // 2026
  out[2] = 12;
  out[3] = 7;
  PutLe32(out, 4, recordCount);
  PutLe16(out, 8, HeaderLength());
  PutLe16(out, 10, recordLength_);
  size_t at = 32;
  for (const auto& f : fields_) {
    std::copy_n(f.name.begin(), std::min<size_t>(f.name.size(), 10), out.begin() + at);
    out[at + 11] = f.type;
    if (f.type == 'C') {
      PutLe16(out, at + 16, f.length);
    } else {
      out[at + 16] = static_cast<char>(f.length);
      out[at + 17] = static_cast<char>(f.decimals);
    }
    at += 32;
  }
  out[at] = 0x0D;
  return out;
}

std::string DbfWriter::EncodeRecord(const std::vector<std::string>& values, bool deleted) const {
  std::string record(1, deleted ? '*' : ' ');
  record.reserve(recordLength_);
  for (size_t i = 0; i < fields_.size(); ++i) {
    const auto& f = fields_[i];
    const std::string value = i < values.size() ? values[i] : std::string();
    const bool numeric = f.type == 'N' || f.type == 'F';
    record += Fit(value, f.length, numeric);
  }
  return record;
}

void DbfWriter::AddRecord(const std::vector<std::string>& values, bool deleted) {
  records_.push_back(EncodeRecord(values, deleted));
}

void DbfWriter::AddRawRecord(std::string bytes) {
  bytes.resize(recordLength_, ' ');
  records_.push_back(std::move(bytes));
}

std::string DbfWriter::Bytes() const {
  std::string out = HeaderBytes(static_cast<uint32_t>(records_.size()));
  for (const auto& r : records_) out += r;
  out += '\x1A';
  return out;
}

void DbfWriter::WriteTo(const std::string& path) const { WriteFile(path, Bytes()); }

namespace {

// The file named path (UTF-8 on Windows, as the program's own names are)
// opened with the C library.
std::FILE* OpenFile(const std::string& path, const char* mode) {
#ifdef _WIN32
  return _wfopen(os::WideFromUtf8(path).c_str(), os::WideFromUtf8(mode).c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

}  // namespace

void WriteFile(const std::string& path, const std::string& bytes) {
  std::FILE* f = OpenFile(path, "wb");
  if (!f) throw std::runtime_error("cannot create " + path);
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !ok) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::string bytes;
  std::FILE* f = OpenFile(path, "rb");
  if (!f) return bytes;
  char buffer[65536];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.append(buffer, got);
  std::fclose(f);
  return bytes;
}

std::filesystem::path FileSystemPath(const std::string& path) {
#ifdef _WIN32
  return std::filesystem::path(os::WideFromUtf8(path));
#else
  return std::filesystem::path(path);
#endif
}

bool FileExists(const std::string& path) { return std::filesystem::exists(FileSystemPath(path)); }

DbfStreamWriter::DbfStreamWriter(const std::string& path, std::vector<DbfFieldSpec> fields)
    : layout_(std::move(fields)) {
  file_ = OpenFile(path, "wb");
  if (!file_) throw std::runtime_error("cannot create " + path);
  const std::string header = layout_.HeaderBytes(0);
  std::fwrite(header.data(), 1, header.size(), file_);
}

DbfStreamWriter::~DbfStreamWriter() {
  if (file_) std::fclose(file_);
}

void DbfStreamWriter::AddRecord(const std::vector<std::string>& values, bool deleted) {
  const std::string record = layout_.EncodeRecord(values, deleted);
  if (std::fwrite(record.data(), 1, record.size(), file_) != record.size())
    throw std::runtime_error("cannot write record");
  ++count_;
}

void DbfStreamWriter::Finish() {
  if (!file_) return;
  std::fputc(0x1A, file_);
  std::string count(4, '\0');
  for (int i = 0; i < 4; ++i) count[i] = static_cast<char>((count_ >> (8 * i)) & 0xFF);
  std::fseek(file_, 4, SEEK_SET);
  std::fwrite(count.data(), 1, 4, file_);
  const bool ok = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!ok) throw std::runtime_error("cannot close stream");
}

}  // namespace tarvelo::testing
