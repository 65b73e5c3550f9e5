// vantrel-tool image: decodes a PNG with our own reader and writes it as a JPEG (through
// the program's JPEG output) or as a PAM file of its RGBA pixels, for checking.
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/tool/tool_support.h"
#include "app/tool/verbs.h"
#include "browser/dib_section.h"
#include "browser/jpeg_output.h"
#include "browser/png_reader.h"
#include "core/text.h"

namespace vantrel::tool {

namespace {

constexpr const char* kVerb = "image";
constexpr long kDefaultQuality = 90;
// JPEG has no transparency: pictures with alpha are laid over white.
constexpr std::uint32_t kJpegBackground = 0xFFFFFF;

bool EndsWithNoCase(const std::string& text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         core::EqualsNoCase(std::string_view(text).substr(text.size() - suffix.size()), suffix);
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec) && !ec;
}

int WritePam(const browser::cPNG& png, const std::string& out) {
  const std::vector<std::uint8_t> rgba = png.ToRGBA();
  std::string bytes = "P7\nWIDTH " + std::to_string(png.Width()) + "\nHEIGHT " + std::to_string(png.Height()) +
                      "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  bytes.append(reinterpret_cast<const char*>(rgba.data()), rgba.size());
  const std::string failure = core::WriteFileAtomic(out, bytes);
  if (!failure.empty()) {
    PrintError(failure);
    return kExitFailed;
  }
  return kExitOk;
}

int WriteJpeg(const browser::cPNG& png, const std::string& out, int quality) {
  browser::cDIBSection surface;
  if (!surface.Create(static_cast<int>(png.Width()), static_cast<int>(png.Height()))) {
    PrintError("the picture is too large for a surface (" + std::to_string(png.Width()) + " x " +
               std::to_string(png.Height()) + ")");
    return kExitFailed;
  }
  surface.Fill(kJpegBackground);
  png.DrawToDC(surface, 0, 0, false);
  core::RunError error;
  if (!browser::SaveJPEG(surface, out, quality, error)) {
    PrintError(error.description + " (" + out + ")");
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

int RunImage(const Args& args) {
  std::string in, out;
  long quality = kDefaultQuality;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (IsFlag(arg, {"-o", "--output"})) {
      if (++i == args.size()) return UsageError(kVerb, "-o needs a file name");
      out = args[i];
    } else if (arg == "--quality") {
      if (++i == args.size() || !ParseCount(args[i], quality) || quality > 100)
        return UsageError(kVerb, "--quality needs a number from 0 to 100");
    } else if (!arg.empty() && arg[0] == '-') {
      return UsageError(kVerb, "unknown option " + arg);
    } else if (in.empty()) {
      in = arg;
    } else {
      return UsageError(kVerb, "more than one input file");
    }
  }
  if (in.empty()) return UsageError(kVerb, "no input PNG file");
  if (out.empty()) return UsageError(kVerb, "no output file (-o OUT.jpg or -o OUT.pam)");
  const bool jpeg = EndsWithNoCase(out, ".jpg") || EndsWithNoCase(out, ".jpeg");
  const bool pam = EndsWithNoCase(out, ".pam");
  if (!jpeg && !pam) return UsageError(kVerb, "the output must end in .jpg or .pam");
  if (SameFile(in, out)) return UsageError(kVerb, "the output would replace the input");

  browser::cPNG png;
  const int result = png.LoadPNGFile(in);
  if (result == browser::kPngMissing) {
    PrintError("cannot find " + in);
    return kExitFailed;
  }
  if (result != browser::kPngLoaded) {
    PrintError(in + " was rejected: " + png.RejectReason());
    return kExitFailed;
  }
  return jpeg ? WriteJpeg(png, out, static_cast<int>(quality)) : WritePam(png, out);
}

}  // namespace vantrel::tool
