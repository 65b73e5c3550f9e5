// Helpers shared by the data classes (XML, LoadVars, SharedObject, LocalConnection,
// Color, flash.geom, TextFormat, System): class registration, number arithmetic on
// script values, URL encoding, the XML text form and the AMF0 encoding that shared
// objects and local connections store values in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "flash/avm1/machine.h"

namespace vantrel::flash::avm1::data {

// The package object _global.<path> ("flash.geom"), made (DontEnum) where missing.
Object* Package(Runtime& rt, std::string_view path);
// Registers a class made with Runtime::MakeClass: its prototype goes into
// rt.prototypes under qualifiedName, the constructor onto holder under its last name.
void RegisterClass(Runtime& rt, Object* holder, std::string_view qualifiedName, Object* ctor,
                   std::uint16_t attributes = kDontEnum);
// The prototype of ctor ("prototype" property), or null.
Object* PrototypeOf(Object* ctor);
// The constructor registered for qualifiedName, or null.
Object* ConstructorOf(Runtime& rt, std::string_view qualifiedName);
// An instance of the registered class without running its constructor.
Object* NewInstance(MachineInterface& machine, std::string_view qualifiedName);

// obj[name] read as a number with the running code's rules (undefined gives NaN from
// SWF 7 on).
double NumberOf(MachineInterface& machine, const Value& target, std::string_view name);
// Loose equality (==) as the player compares two values.
bool LooselyEqual(MachineInterface& machine, const Value& a, const Value& b);

// The host of the running movie's address ("localhost" for a local file): the domain
// of its local connections and the host its sockets reach by default.
std::string MovieDomain(MachineInterface& machine);

// escape() of the player: letters and digits stay, every other byte of the UTF-8 text
// becomes %XX (upper case).
std::string UrlEncode(std::string_view text);
// unescape() for form data: %XX gives the byte, '+' a space; a broken escape stays.
std::string UrlDecode(std::string_view text);
// Sets name=value pairs of form data ("a=1&b=2") on object as strings, in order.
void DecodeVariables(MachineInterface& machine, Object* object, std::string_view query);
// The object's enumerable variables as form data ("a=1&b=2"), in for..in order.
std::string EncodeVariables(MachineInterface& machine, Object* object);

// Whether object is an XML node (XMLNode or XML instance).
bool IsXmlNode(const Object* object);
// The XML text of a node as toString gives it.
std::string XmlToString(MachineInterface& machine, Object* node);
// text with & < > " ' written as the XML entities the player's XML output uses.
std::string EscapeXmlText(std::string_view text);
// A new XML document parsed from text (as `new XML(text)` makes it).
Object* ParseXmlDocument(MachineInterface& machine, const std::string& text);

// The bytes of a .sol file (the "TCSO" header, then each enumerable property of data
// in order of creation) for the shared object called name.
std::string SolFile(MachineInterface& machine, std::string_view name, Object* data);
// Sets the entries of a .sol file on data; false when the bytes are no shared object
// or are damaged (the entries before the damage stay set).
bool ReadSolFile(MachineInterface& machine, std::string_view bytes, Object* data);

// AMF0 as shared objects and local connections store script values. Objects are
// written with their enumerable properties in order of creation, arrays as ECMA arrays
// with their length, dates with their time, XML as its text, registered classes as
// typed objects; functions and display objects as undefined; repeated objects as
// references.
class AmfWriter {
 public:
  explicit AmfWriter(MachineInterface& machine) : machine_(machine) {}
  void WriteValue(const Value& value);
  // A name/value pair of an object body (name as a short string).
  void WriteEntry(std::string_view name, const Value& value);
  void WriteShortString(std::string_view text);
  // Counts an object that the format numbers without writing it (a shared object's
  // data object is reference 0).
  void CountRoot(Object* object) { seen_.push_back(object); }
  std::string& Bytes() { return out_; }

 private:
  void WriteU8(std::uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void WriteU16(std::uint16_t v);
  void WriteU32(std::uint32_t v);
  void WriteDouble(double v);
  void WriteObjectBody(Object* object);
  MachineInterface& machine_;
  std::string out_;
  std::vector<Object*> seen_;
  int depth_ = 0;
};

class AmfReader {
 public:
  AmfReader(MachineInterface& machine, std::string_view bytes) : machine_(machine), bytes_(bytes) {}
  // The next value; nullopt (and Failed()) when the bytes end early or hold an unknown
  // marker.
  std::optional<Value> ReadValue();
  std::optional<std::string> ReadShortString();
  std::optional<std::uint8_t> ReadU8();
  void CountRoot(Object* object) { seen_.push_back(object); }
  bool AtEnd() const { return pos_ >= bytes_.size(); }
  bool Failed() const { return failed_; }
  std::size_t Position() const { return pos_; }
  // Skips count bytes; false when fewer remain.
  bool Skip(std::size_t count);

 private:
  std::optional<std::uint16_t> ReadU16();
  std::optional<std::uint32_t> ReadU32();
  std::optional<double> ReadDouble();
  std::optional<std::string> ReadBytes(std::size_t count);
  bool ReadProperties(Object* object);
  MachineInterface& machine_;
  std::string_view bytes_;
  std::size_t pos_ = 0;
  bool failed_ = false;
  int depth_ = 0;
  std::vector<Object*> seen_;
};

// LoadVars/XML addRequestHeader: headers kept for the loader as a flat array of names
// and values in the hidden _customHeaders.
Value AddRequestHeader(Call& call);

}  // namespace vantrel::flash::avm1::data
