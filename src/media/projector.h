// Projectors: Windows executables made of a player stub with a movie appended. Taking
// the movie out (ExtractEXE), building one from a movie (CreateProjector), the
// version-resource test for generic projectors, and the rules of the SWF<->EXE
// conversion dialog.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "media/media_context.h"
#include "media/media_record.h"

namespace vantrel::core {
class ExecutionLog;
}

namespace vantrel::media {

// The four bytes between the appended movie and its 32-bit length.
inline constexpr std::array<std::uint8_t, 4> kProjectorMarker = {0x56, 0x34, 0x12, 0xFA};

// The not-a-generic-projector text, "&#62;" entities and inner quotes included.
inline constexpr std::string_view kNotGenericProjector =
    "Not a Generic Projector. Uncheck \"Tools &#62; Options &#62; Advanced &#62; Skip Doubtful "
    "Projectors\" to try to open it anyways";
inline constexpr std::string_view kInvalidGenericProjector = "Invalid Generic Projector";
inline constexpr std::string_view kFileAlreadyCached = "File Already Cached";

// The last eight bytes of a file in the projector layout.
struct ProjectorTrailer {
  std::uint64_t fileSize = 0;
  bool hasMarker = false;         // the bytes at N - 8 are the marker
  std::uint32_t movieLength = 0;  // L, read at N - 4 (meaningful with the marker only)
};

// Reads the trailer of the file at path. Returns false when the file cannot be read or
// is shorter than 8 bytes.
bool ReadProjectorTrailer(const std::string& path, ProjectorTrailer& trailer);

// True when the file at path is a projector built by this program: an ELF executable
// (our own stub, "Media/Binary/projector") with the marker and a length at its end. It
// has no Windows version resource; the player trusts it as it trusts generic projectors.
bool IsOwnProjector(const std::string& path);

// True when an "OriginalFileName" value names a generic projector: "SAFlashPlayer.exe"
// always, "SwFlsh32.exe" only when not strict; letter case is ignored.
bool IsGenericProjectorName(std::string_view originalFileName, bool strict);

// The generic-projector test on the executable's version resource. A file without a
// version resource, a broken PE file, or a key walk that stops before
// "OriginalFileName" gives false.
bool IsGenericProjector(const std::string& path, bool strict);

// The program's test for a Flash projector wherever a file list is filtered (the media
// browser, the playlist, the thumbnail generator, vantrel-tool): a Windows projector
// that passes the (not strict) version test, or one built by this program.
bool IsFlashProjector(const std::string& path);

// What ExtractEXE needs besides the executable: where the movie goes, whether doubtful
// projectors are refused (option "GenericProjectors"), and where the reason of a
// failure is left.
struct ExtractRequest {
  std::string target;         // the cache file for the movie
  bool skipDoubtful = true;   // refuse executables that fail the not-strict test
};

// Cuts the movie out of the projector at path into request.target (a Windows projector
// or one of our own, IsOwnProjector; the version test applies to Windows ones only).
// Returns the target
// path on success, also when the target already existed and is current for the
// executable (CacheCopyIsCurrent; lastError is then "File Already Cached" and the
// executable is not read). Returns "" on failure with the
// reason in lastError: the not-a-generic-projector text, "Invalid Generic Projector"
// (the data before the marker is not a movie of version 1 to 99, or the length does
// not fit the file), or a read/write failure. An executable without the marker gives
// an empty target file, which identification then refuses as not a movie. The target
// is written atomically; the executable is never changed.
std::string ExtractProjectorMovie(const std::string& path, const ExtractRequest& request,
                                  std::string& lastError, core::ExecutionLog* log);

// The value of the option "GenericProjectors" (Skip Doubtful Projectors) in
// context.Options; true, its default, when the context has no options store.
bool SkipDoubtfulProjectors(const MediaContext& context);

// ExtractEXE, the projector hook of identification (MediaContext::ExtractProjector):
// ExtractProjectorMovie into CachePathFor(path, ".swf", flatten) in context.CachePath,
// refusing doubtful projectors when the option says so. Returns the movie's path, or ""
// with the reason in context.LastError.
std::string ExtractEXE(MediaContext& context, const std::string& path);

// Builds a projector at target: the stub's part before any movie it carries (the whole
// stub when it has no marker), then the movie file's bytes, the marker and the movie
// length. Returns "" on success or the reason of the failure; target is written
// atomically, so a failure leaves no partial file and an existing target unchanged.
std::string BuildProjector(const std::string& target, const std::string& moviePath,
                           const std::string& stubPath, core::ExecutionLog* log);

// CreateProjector: a projector at target from the movie that record.MoviePath names
// (a compressed movie stays compressed), with the stub at stubPath. Returns "" on
// success or the reason of the failure.
std::string CreateProjector(MediaContext& context, const std::string& target, const MediaRecord& record,
                            const std::string& stubPath);

// The default stub: the file "projector" in the program's binary folder.
std::string DefaultStubPath(const std::string& binaryPath);

// The SWF<->EXE conversion dialog's rules, without the dialog.
enum class ConvertAction {
  CopyMovie,       // a projector saved as a movie: the extracted movie is copied
  BuildProjector,  // a movie saved as a projector: CreateProjector
  CopySource,      // same kind on both sides: the opened file is copied
};

struct ConvertDialogSetup {
  std::string filter;        // "Name|*.ext|Name|*.ext", the source's own kind second
  std::string titleKey;      // language key of the dialog title
  std::string titleDefault;  // its default text
};

// The save dialog's filter and title for a source that is (or is not) a projector.
ConvertDialogSetup ConvertSetupFor(bool isProjector);

// The name the conversion's save dialog proposes: the movie's own name without its
// extension (the chosen kind adds one), in folder when one is given (ending with "/"),
// else beside the source. "" when the record has no source path.
std::string ConvertDefaultName(const std::string& sourcePath, const std::string& folder);

struct ConvertPlan {
  ConvertAction action = ConvertAction::CopySource;
  std::string target;  // the chosen name, with "exe" or "swf" added when it had no extension
};

// Decides what the conversion writes, given the source's kind, the 1-based index of
// the filter the user chose in ConvertSetupFor's filter, and the chosen file name.
ConvertPlan PlanConversion(bool isProjector, int filterIndex, const std::string& chosenName);

// Carries out a plan for the movie or projector that record describes: CopyMovie copies
// record.MoviePath, CopySource record.SourcePath, BuildProjector runs CreateProjector
// with stubPath. The target is written atomically and the source never changes.
// Returns "" on success, else the reason.
std::string RunConversion(MediaContext& context, const ConvertPlan& plan, const MediaRecord& record,
                          const std::string& stubPath);

}  // namespace vantrel::media
