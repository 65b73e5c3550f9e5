// Recorded input for running a movie unattended: the event lists of the test corpus's
// input.json files ("MouseMove", "KeyDown", ... with "Wait" ending one frame's batch),
// and the run that alternates frames and batches the way those tests were recorded.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vantrel::flash {

class FlashControl;

struct InputEvent {
  enum class Type { MouseMove, MouseDown, MouseUp, MouseWheel, KeyDown, KeyUp, TextInput, TextControl, Clipboard, FocusLost, Other };
  Type type = Type::Other;
  double x = 0, y = 0;  // movie pixels
  int button = 0;       // 0 left, 1 right, 2 middle
  int lines = 0;        // wheel
  int keyCode = 0;      // the movie's key code (Key.getCode)
  int ascii = 0;        // the character the key types, 0 for none
  char32_t character = 0;  // TextInput: the character typed (8 Backspace, 127 Delete)
  std::string text;        // TextControl: the command ("Paste"); Clipboard: the text
};

struct InputScript {
  std::vector<std::vector<InputEvent>> batches;  // one per frame, in order
};

// Reads an input.json text ("TextInput" and the "Backspace"/"Delete"/"Enter" of "TextControl"
// become TextInput; other text controls and "SetClipboardText" are kept as they are).
// Events the engine does not take (IME, focus) are kept as Other so batches stay aligned. Returns false with the
// reason in error when the text is not a JSON array of event objects.
bool ParseInputScript(const std::string& text, InputScript& script, std::string& error);
// The same for a file; false with the reason when it cannot be read or parsed.
bool LoadInputScript(const std::string& path, InputScript& script, std::string& error);

// The movie's key code for a key name of input.json ("Tab", "ArrowLeft", "KeyA",
// "Digit1", "LeftShift", ...) or for the character of {"Char": "a"}; 0 when unknown.
int KeyCodeForName(const std::string& name);
int KeyCodeForChar(char32_t character);

// Hands one batch to the control, positions in movie pixels (the control should have
// the movie's own size so that pixels map one to one).
void DeliverInput(FlashControl& control, const std::vector<InputEvent>& batch);

// Runs iterations frames of a loaded movie (the load showed the first): after each
// frame the next batch of input (when input is given), then afterFrame(n) with the
// 1-based iteration. A movie calling fscommand("quit") ends the run after that frame.
// Returns the number of iterations run.
int RunRecorded(FlashControl& control, int iterations, const InputScript* input,
                const std::function<void(int iteration)>& afterFrame = {});

}  // namespace vantrel::flash
