#include "browser/jpeg_output.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <jpeglib.h>

#include "core/paths.h"

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

// Encodes the surface into file. Returns 0 on success or the encoder's message code.
// Kept apart from SaveJPEG so that nothing with a destructor lives across setjmp.
int Encode(const cDIBSection& surface, std::FILE* file, int quality, bool& setupFailed) {
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
  jpeg_stdio_dest(&info, file);
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

}  // namespace

bool SaveJPEG(const cDIBSection& surface, const std::string& path, int quality,
              core::RunError& error) {
  if (surface.Empty()) return Fail(error, kJpegInitFailed, -1);
  quality = std::clamp(quality, 0, 100);

  // The old picture goes first, as every caller expects; the new one is written beside
  // it and renamed into place so that a failed save leaves no broken JPEG behind.
  if (core::FileExists(path)) std::remove(path.c_str());
  std::string temp = path + ".vantrel-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return Fail(error, kJpegSaveFailed, -1);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  std::FILE* file = ::fdopen(fd, "wb");
  if (!file) {
    ::close(fd);
    ::unlink(temp.c_str());
    return Fail(error, kJpegSaveFailed, -1);
  }

  bool setupFailed = false;
  const int code = Encode(surface, file, quality, setupFailed);
  const bool written = code == 0 && std::ferror(file) == 0;
  // Thumbnails are cache files made again on demand, so we skip fsync: a generator run
  // writes thousands of them and must not wait for the disk after each one.
  const bool closed = std::fclose(file) == 0;
  if (code != 0 || !written || !closed) {
    ::unlink(temp.c_str());
    if (code != 0) return Fail(error, setupFailed ? kJpegInitFailed : kJpegSaveFailed, code);
    return Fail(error, kJpegSaveFailed, -2);
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return Fail(error, kJpegSaveFailed, -1);
  }
  return true;
}

}  // namespace vantrel::browser
