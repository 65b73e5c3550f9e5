// The player's ActionScript 3 API as declared (every class and interface of the top level
// and flash.* the player has, with its members), generated from the reference's own
// describeType listings by scripts/as3_api/generate.py. At start the machine makes every
// declared class it has no native for, and gives every class the declared members it
// lacks: calling one throws an IllegalOperationError naming it, never a missing name.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vantrel::flash::avm2 {

class Machine;
class ClassObject;

enum class DeclaredKind : std::uint8_t { kMethod, kReadonly, kReadwrite, kWriteonly, kConstant, kVariable };

struct DeclaredMember {
  DeclaredKind kind;
  bool isStatic;
  const char* name;
  const char* type;      // the return type of a method, "*" for any, "void"
  std::uint8_t params;   // parameters (the rest parameter is not counted)
  std::uint8_t optional; // of which optional
  std::uint8_t version;  // the SWF version it first appears in
  const char* value;     // a constant's value (a number as text), or null
  const char* uri;       // an interface method's namespace, or null
  const char* paramTypes;  // the parameters' types, separated by spaces
};

struct DeclaredClass {
  const char* package;
  const char* name;
  const char* base;        // qualified ("flash.events::EventDispatcher"), "" for interfaces
  const char* interfaces;  // qualified, separated by spaces, inherited ones included
  bool isInterface;
  std::uint8_t version;
  std::uint8_t ctorParams, ctorOptional;
  std::uint32_t firstMember, memberCount;  // its own members in DeclaredMembers()
  const char* ctorTypes;   // the constructor's parameter types, separated by spaces
  std::string QualifiedName() const { return std::string(package) + "::" + name; }
  bool Declares(const DeclaredMember& m) const;
};

std::span<const DeclaredClass> DeclaredClasses();
std::span<const DeclaredMember> DeclaredMembers();
// The declared class of this qualified name ("flash.media::Camera"), or null.
const DeclaredClass* FindDeclaredClass(const std::string& qualifiedName);

// Makes the declared classes the machine lacks and fills in the declared members of
// every class (natives first: they keep their own).
void InstallDeclaredApi(Machine& machine);

// Takes away the declared classes that came after the movie's SWF version, natives too
// (a movie of version 10 does not see the Stage3D classes, one of version 9 no Shader).
void HideNewerDeclaredClasses(Machine& machine, int swfVersion);

}  // namespace vantrel::flash::avm2
