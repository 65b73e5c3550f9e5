#include "flash/control/input_script.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

#include "flash/control/flash_control.h"

namespace vantrel::flash {

namespace {

int ButtonNumber(const QString& name) {
  if (name == "Right") return 1;
  if (name == "Middle") return 2;
  return 0;
}

// The character a named key types (Enter 13, Tab 9, ...); 0 for keys that type none.
int AsciiForCode(int code) {
  switch (code) {
    case 8: return 8;
    case 9: return 9;
    case 13: return 13;
    case 27: return 27;
    case 32: return 32;
    case 46: return 127;
    default: return 0;
  }
}

InputEvent ReadEvent(const QJsonObject& object) {
  InputEvent event;
  const QString type = object.value("type").toString();
  const QJsonArray pos = object.value("pos").toArray();
  if (pos.size() >= 2) {
    event.x = pos[0].toDouble();
    event.y = pos[1].toDouble();
  }
  event.button = ButtonNumber(object.value("btn").toString());
  if (type == "MouseMove") event.type = InputEvent::Type::MouseMove;
  else if (type == "MouseDown") event.type = InputEvent::Type::MouseDown;
  else if (type == "MouseUp") event.type = InputEvent::Type::MouseUp;
  else if (type == "MouseWheel") {
    event.type = InputEvent::Type::MouseWheel;
    event.lines = object.value("lines").toInt();
  } else if (type == "TextInput") {
    const char32_t c = object.value("codepoint").toString().toUcs4().value(0);
    // The control characters a key types edit nothing by themselves: the recording
    // follows them with the TextControl that edits (Backspace, Delete, Enter).
    if (c >= 32 && c != 127) {
      event.type = InputEvent::Type::TextInput;
      event.character = c;
    }
  } else if (type == "TextControl") {
    const QString code = object.value("code").toString();
    if (code == "Backspace" || code == "Delete") {
      event.type = InputEvent::Type::TextInput;
      event.character = code == "Backspace" ? 8 : 127;
    } else if (code == "Enter") {
      // A line break, which only multiline fields take.
      event.type = InputEvent::Type::TextInput;
      event.character = '\r';
    } else {
      event.type = InputEvent::Type::TextControl;
      event.text = code.toStdString();
    }
  } else if (type == "FocusLost") {
    event.type = InputEvent::Type::FocusLost;
  } else if (type == "SetClipboardText") {
    event.type = InputEvent::Type::Clipboard;
    event.text = object.value("text").toString().toStdString();
  } else if (type == "KeyDown" || type == "KeyUp") {
    event.type = type == "KeyDown" ? InputEvent::Type::KeyDown : InputEvent::Type::KeyUp;
    const QJsonValue key = object.value("key");
    if (key.isString()) {
      event.keyCode = KeyCodeForName(key.toString().toStdString());
      event.ascii = AsciiForCode(event.keyCode);
    } else if (key.isObject()) {
      const QJsonObject keyObject = key.toObject();
      const QString character = keyObject.value("Char").toString();
      const QString numpad = keyObject.value("Numpad").toString();
      if (!character.isEmpty()) {
        const char32_t c = character.toUcs4().value(0);
        event.keyCode = KeyCodeForChar(c);
        event.ascii = c < 0x10000 ? static_cast<int>(c) : 0;
      } else if (numpad.size() == 1 && numpad[0].isDigit()) {
        event.keyCode = 96 + numpad[0].digitValue();
        event.ascii = numpad[0].unicode();
      }
    }
  }
  return event;
}

}  // namespace

int KeyCodeForChar(char32_t c) {
  if (c >= 'a' && c <= 'z') return static_cast<int>(c - 'a' + 'A');
  if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return static_cast<int>(c);
  static constexpr std::pair<char32_t, int> kPunctuation[] = {
      {' ', 32},  {';', 186}, {':', 186}, {'=', 187}, {'+', 187}, {',', 188}, {'<', 188},  {'-', 189},
      {'_', 189}, {'.', 190}, {'>', 190}, {'/', 191}, {'?', 191}, {'`', 192}, {'~', 192},  {'[', 219},
      {'{', 219}, {'\\', 220}, {'|', 220}, {']', 221}, {'}', 221}, {'\'', 222}, {'"', 222},
      {'!', 49},  {'@', 50},  {'#', 51},  {'$', 52},  {'%', 53},  {'^', 54},  {'&', 55},   {'*', 56},
      {'(', 57},  {')', 48},
  };
  for (const auto& [character, code] : kPunctuation) {
    if (character == c) return code;
  }
  return 0;
}

int KeyCodeForName(const std::string& name) {
  static constexpr std::pair<const char*, int> kNames[] = {
      {"Backspace", 8},    {"Tab", 9},          {"Enter", 13},       {"LeftShift", 16},  {"RightShift", 16},
      {"Shift", 16},       {"LeftControl", 17}, {"RightControl", 17}, {"Control", 17},   {"LeftAlt", 18},
      {"RightAlt", 18},    {"Alt", 18},         {"Pause", 19},       {"CapsLock", 20},   {"Escape", 27},
      {"Space", 32},       {"PageUp", 33},      {"PageDown", 34},    {"End", 35},        {"Home", 36},
      {"ArrowLeft", 37},   {"ArrowUp", 38},     {"ArrowRight", 39},  {"ArrowDown", 40},  {"Insert", 45},
      {"Delete", 46},      {"NumLock", 144},    {"ScrollLock", 145},
  };
  for (const auto& [known, code] : kNames) {
    if (name == known) return code;
  }
  if (name.size() == 4 && name.rfind("Key", 0) == 0) return KeyCodeForChar(static_cast<unsigned char>(name[3]));
  if (name.size() == 6 && name.rfind("Digit", 0) == 0) return KeyCodeForChar(static_cast<unsigned char>(name[5]));
  if (name.size() >= 2 && name[0] == 'F' && name.size() <= 3) {
    const int number = std::atoi(name.c_str() + 1);
    if (number >= 1 && number <= 12) return 111 + number;
  }
  return 0;
}

bool ParseInputScript(const std::string& text, InputScript& script, std::string& error) {
  script.batches.clear();
  QJsonParseError parseError;
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &parseError);
  if (document.isNull()) {
    error = "not JSON: " + parseError.errorString().toStdString() + " at offset " +
            std::to_string(parseError.offset);
    return false;
  }
  if (!document.isArray()) {
    error = "not a list of input events";
    return false;
  }
  script.batches.emplace_back();
  for (const QJsonValue& value : document.array()) {
    if (!value.isObject()) {
      error = "an input event is not an object";
      script.batches.clear();
      return false;
    }
    const QJsonObject object = value.toObject();
    if (object.value("type").toString() == "Wait") {
      script.batches.emplace_back();
      continue;
    }
    script.batches.back().push_back(ReadEvent(object));
  }
  error.clear();
  return true;
}

bool LoadInputScript(const std::string& path, InputScript& script, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path;
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return ParseInputScript(text.str(), script, error);
}

void DeliverInput(FlashControl& control, const std::vector<InputEvent>& batch) {
  for (const InputEvent& event : batch) {
    switch (event.type) {
      case InputEvent::Type::MouseMove: control.MouseMove(event.x, event.y); break;
      case InputEvent::Type::MouseDown: control.MouseDown(event.x, event.y, event.button); break;
      case InputEvent::Type::MouseUp: control.MouseUp(event.x, event.y, event.button); break;
      case InputEvent::Type::MouseWheel: control.MouseWheel(event.lines); break;
      case InputEvent::Type::KeyDown: control.KeyDown(event.keyCode, event.ascii); break;
      case InputEvent::Type::KeyUp: control.KeyUp(event.keyCode, event.ascii); break;
      case InputEvent::Type::TextInput: control.TextInput(event.character); break;
      case InputEvent::Type::TextControl: control.TextControl(event.text); break;
      case InputEvent::Type::Clipboard: control.SetClipboardText(QString::fromStdString(event.text)); break;
      case InputEvent::Type::FocusLost: control.FocusLost(); break;
      case InputEvent::Type::Other: break;
    }
  }
}

int RunRecorded(FlashControl& control, int iterations, const InputScript* input,
                const std::function<void(int iteration)>& afterFrame) {
  int done = 0;
  for (int iteration = 1; iteration <= iterations; ++iteration) {
    if (iteration > 1) control.Tick();
    done = iteration;
    if (control.QuitRequested()) break;
    if (input && static_cast<std::size_t>(iteration - 1) < input->batches.size())
      DeliverInput(control, input->batches[static_cast<std::size_t>(iteration - 1)]);
    if (afterFrame) afterFrame(iteration);
  }
  return done;
}

}  // namespace vantrel::flash
