// Action Message Format, the encoding of writeObject and readObject (ByteArray, Socket):
// version 0, the older one of objects as name and value lists, and version 3, with its
// tables of strings, objects and class traits sent once and referred to afterwards.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "flash/avm2/machine.h"

namespace vantrel::flash::avm2 {

// The encodings (ObjectEncoding.AMF0 and AMF3).
inline constexpr std::uint32_t kAmf0 = 0;
inline constexpr std::uint32_t kAmf3 = 3;

// Writes value in the encoding: the bytes go to put as they come. An object that writes
// itself (IExternalizable) gets stream for its writeExternal, after everything before
// it has gone to put.
void WriteAmf(Machine& machine, const Value& value, std::uint32_t encoding, const Value& stream,
              const std::function<void(const std::string&)>& put);

// Reads one value from stream, a ByteArray-like object whose text holds the bytes and
// whose a is the position, and moves the position past it. EOFError when the bytes end
// first; an object that reads itself (IExternalizable) gets stream for its readExternal.
Value ReadAmf(Machine& machine, NativeObject* stream, std::uint32_t encoding);

// AMF3's variable-length integer of 29 bits: appended to out, or read from bytes at at
// (moved past it; false when the bytes end first).
void AppendU29(std::string& out, std::uint32_t n);
bool ReadU29(std::string_view bytes, std::size_t& at, std::uint32_t& n);

// flash.net.registerClassAlias and getClassByAlias.
void InstallClassAliases(Machine& machine);

}  // namespace vantrel::flash::avm2
