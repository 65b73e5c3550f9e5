// The interpreter's dispatch table: every opcode that verification lets through reaches
// the function of its instruction, and no other opcode reaches any.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "flash/avm2/machine.h"

namespace vantrel::flash::avm2 {
namespace {

TEST(Avm2InstructionTable, EveryOpcodeReachesItsInstructionAndNoOtherOpcodeDoes) {
  const std::map<int, std::string> instructions = {
      {0x01, "bkpt"}, {0x02, "nop"}, {0x03, "throw"}, {0x04, "getsuper"}, {0x05, "setsuper"}, {0x06, "dxns"},
      {0x07, "dxnslate"}, {0x08, "kill"}, {0x09, "label"}, {0x0C, "ifnlt"}, {0x0D, "ifnle"}, {0x0E, "ifngt"},
      {0x0F, "ifnge"}, {0x10, "jump"}, {0x11, "iftrue"}, {0x12, "iffalse"}, {0x13, "ifeq"}, {0x14, "ifne"},
      {0x15, "iflt"}, {0x16, "ifle"}, {0x17, "ifgt"}, {0x18, "ifge"}, {0x19, "ifstricteq"},
      {0x1A, "ifstrictne"}, {0x1B, "lookupswitch"}, {0x1C, "pushwith"}, {0x1D, "popscope"}, {0x1E, "nextname"},
      {0x1F, "hasnext"}, {0x20, "pushnull"}, {0x21, "pushundefined"}, {0x23, "nextvalue"}, {0x24, "pushbyte"},
      {0x25, "pushshort"}, {0x26, "pushtrue"}, {0x27, "pushfalse"}, {0x28, "pushnan"}, {0x29, "pop"},
      {0x2A, "dup"}, {0x2B, "swap"}, {0x2C, "pushstring"}, {0x2D, "pushint"}, {0x2E, "pushuint"},
      {0x2F, "pushdouble"}, {0x30, "pushscope"}, {0x31, "pushnamespace"}, {0x32, "hasnext2"}, {0x35, "li8"},
      {0x36, "li16"}, {0x37, "li32"}, {0x38, "lf32"}, {0x39, "lf64"}, {0x3A, "si8"}, {0x3B, "si16"},
      {0x3C, "si32"}, {0x3D, "sf32"}, {0x3E, "sf64"}, {0x40, "newfunction"}, {0x41, "call"},
      {0x42, "construct"}, {0x43, "callmethod"}, {0x44, "callstatic"}, {0x45, "callsuper"},
      {0x46, "callproperty"}, {0x47, "returnvoid"}, {0x48, "returnvalue"}, {0x49, "constructsuper"},
      {0x4A, "constructprop"}, {0x4C, "callproplex"}, {0x4E, "callsupervoid"}, {0x4F, "callpropvoid"},
      {0x50, "sxi1"}, {0x51, "sxi8"}, {0x52, "sxi16"}, {0x53, "applytype"}, {0x55, "newobject"},
      {0x56, "newarray"}, {0x57, "newactivation"}, {0x58, "newclass"}, {0x59, "getdescendants"},
      {0x5A, "newcatch"}, {0x5D, "findpropstrict"}, {0x5E, "findproperty"}, {0x5F, "finddef"},
      {0x60, "getlex"}, {0x61, "setproperty"}, {0x62, "getlocal"}, {0x63, "setlocal"},
      {0x64, "getglobalscope"}, {0x65, "getscopeobject"}, {0x66, "getproperty"}, {0x67, "getouterscope"},
      {0x68, "initproperty"}, {0x6A, "deleteproperty"}, {0x6C, "getslot"}, {0x6D, "setslot"},
      {0x6E, "getglobalslot"}, {0x6F, "setglobalslot"}, {0x70, "convert_s"}, {0x71, "esc_xelem"},
      {0x72, "esc_xattr"}, {0x73, "convert_i"}, {0x74, "convert_u"}, {0x75, "convert_d"}, {0x76, "convert_b"},
      {0x77, "convert_o"}, {0x78, "checkfilter"}, {0x80, "coerce"}, {0x81, "coerce_b"}, {0x82, "coerce_a"},
      {0x83, "coerce_i"}, {0x84, "coerce_d"}, {0x85, "coerce_s"}, {0x86, "astype"}, {0x87, "astypelate"},
      {0x88, "coerce_u"}, {0x89, "coerce_o"}, {0x90, "negate"}, {0x91, "increment"}, {0x92, "inclocal"},
      {0x93, "decrement"}, {0x94, "declocal"}, {0x95, "typeof"}, {0x96, "not"}, {0x97, "bitnot"},
      {0xA0, "add"}, {0xA1, "subtract"}, {0xA2, "multiply"}, {0xA3, "divide"}, {0xA4, "modulo"},
      {0xA5, "lshift"}, {0xA6, "rshift"}, {0xA7, "urshift"}, {0xA8, "bitand"}, {0xA9, "bitor"},
      {0xAA, "bitxor"}, {0xAB, "equals"}, {0xAC, "strictequals"}, {0xAD, "lessthan"}, {0xAE, "lessequals"},
      {0xAF, "greaterthan"}, {0xB0, "greaterequals"}, {0xB1, "instanceof"}, {0xB2, "istype"},
      {0xB3, "istypelate"}, {0xB4, "in"}, {0xC0, "increment_i"}, {0xC1, "decrement_i"}, {0xC2, "inclocal_i"},
      {0xC3, "declocal_i"}, {0xC4, "negate_i"}, {0xC5, "add_i"}, {0xC6, "subtract_i"}, {0xC7, "multiply_i"},
      {0xD0, "getlocal0"}, {0xD1, "getlocal1"}, {0xD2, "getlocal2"}, {0xD3, "getlocal3"}, {0xD4, "setlocal0"},
      {0xD5, "setlocal1"}, {0xD6, "setlocal2"}, {0xD7, "setlocal3"}, {0xEF, "debug"}, {0xF0, "debugline"},
      {0xF1, "debugfile"}, {0xF2, "bkptline"}, {0xF3, "timestamp"}
  };
  ASSERT_EQ(instructions.size(), 167u);
  for (int op = 0; op < 256; ++op) {
    const char* name = Machine::InstructionName(static_cast<std::uint8_t>(op));
    const auto it = instructions.find(op);
    if (it == instructions.end()) {
      EXPECT_EQ(name, nullptr) << "opcode " << op;
    } else {
      ASSERT_NE(name, nullptr) << "opcode " << op;
      EXPECT_EQ(std::string(name), it->second) << "opcode " << op;
    }
  }
}

}  // namespace
}  // namespace vantrel::flash::avm2
