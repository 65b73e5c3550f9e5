#include "browser/jpeg_output.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <fcntl.h>
#include <unistd.h>

#include <jpeglib.h>

namespace vantrel::browser {

namespace {

// libjpeg reports fatal errors through error_exit; we jump back out of the encoder with
// its message code instead of letting it end the process.
struct JpegErrorTrap {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

[[noreturn]] void TrapError(j_common_ptr info) {
  auto* trap = reinterpret_cast<JpegErrorTrap*>(info->err);
  std::longjmp(trap->jump, 1);
}

void Silence(j_common_ptr, int) {}

// The source of our errors: the program's file name and the module name.
std::string ErrorSource() {
  const char* program = program_invocation_short_name;
  return std::string(program && *program ? program : "vantrel") + ".mIntelJPEGLibrary";
}

bool Fail(core::RunError& error, const char* text, long code) {
  error.number = kJpegErrorNumber;
  error.source = ErrorSource();
  error.description = std::string(text) + std::to_string(code);
  return false;
}

// Encodes the surface into memory (buffer and size, malloc'ed by libjpeg; the caller
// frees it). Returns 0 on success or the encoder's message code. Kept apart from SaveJPEG
// so that nothing with a destructor lives across setjmp.
int Encode(const cDIBSection& surface, int quality, unsigned char** buffer, unsigned long* size,
           bool& setupFailed) {
  jpeg_compress_struct info{};
  JpegErrorTrap trap{};
  info.err = jpeg_std_error(&trap.manager);
  trap.manager.error_exit = TrapError;
  trap.manager.emit_message = Silence;
  volatile bool created = false;
  if (setjmp(trap.jump)) {
    const int code = trap.manager.msg_code != 0 ? trap.manager.msg_code : -3;
    setupFailed = !created;
    jpeg_destroy_compress(&info);
    return code;
  }
  jpeg_create_compress(&info);
  created = true;
  jpeg_mem_dest(&info, buffer, size);
  info.image_width = static_cast<JDIMENSION>(surface.Width());
  info.image_height = static_cast<JDIMENSION>(surface.Height());
  info.input_components = 3;
  // The surface is blue-green-red; libjpeg-turbo reads that order directly.
  info.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  const std::uint8_t* bits = surface.DIBSectionBitsPtr();
  const std::size_t stride = static_cast<std::size_t>(surface.BytesPerScanLine());
  while (info.next_scanline < info.image_height) {
    JSAMPROW rows[16];
    JDIMENSION count = 0;
    while (count < 16 && info.next_scanline + count < info.image_height) {
      rows[count] = const_cast<JSAMPROW>(bits + (info.next_scanline + count) * stride);
      ++count;
    }
    jpeg_write_scanlines(&info, rows, count);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return 0;
}

// Creates a new file beside path for writing (mode 0666 less the umask). Returns its
// descriptor and name, or -1.
int CreateBeside(const std::string& path, std::string& name) {
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = path + ".vantrel-" + std::to_string(::getpid()) + "-" + std::to_string(stamp + attempt);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool WriteAll(int fd, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t wrote = ::write(fd, data, size);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += wrote;
    size -= static_cast<std::size_t>(wrote);
  }
  return true;
}

}  // namespace

bool SaveJPEG(const cDIBSection& surface, const std::string& path, int quality,
              core::RunError& error) {
  if (surface.Empty()) return Fail(error, kJpegInitFailed, -1);
  quality = std::clamp(quality, 0, 100);

  // The old picture goes first, as every caller expects.
  ::unlink(path.c_str());

  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  bool setupFailed = false;
  const int code = Encode(surface, quality, &buffer, &size, setupFailed);
  if (code != 0) {
    std::free(buffer);
    return Fail(error, setupFailed ? kJpegInitFailed : kJpegSaveFailed, code);
  }

  // The new picture is written beside the target and renamed into place, so a failed save
  // leaves no broken JPEG behind. Thumbnails are cache files made again on demand, so we
  // skip fsync: a generator run writes thousands of them and must not wait for the disk.
  std::string temp;
  const int fd = CreateBeside(path, temp);
  if (fd < 0) {
    std::free(buffer);
    return Fail(error, kJpegSaveFailed, -1);
  }
  const bool written = WriteAll(fd, buffer, size);
  std::free(buffer);
  const bool closed = ::close(fd) == 0;
  if (!written || !closed) {
    ::unlink(temp.c_str());
    return Fail(error, kJpegSaveFailed, -2);
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return Fail(error, kJpegSaveFailed, -1);
  }
  return true;
}

}  // namespace vantrel::browser
