// The built-in classes and functions of ActionScript 1/2, one file (or family) each.
// Every Install function adds its class to rt.global (and rt.prototypes) from tables
// of Member entries, so ASnative and ASSetPropFlags see the same data. InstallBuiltins
// runs them in order: Object and Function come first, the others may rely on them.
#pragma once

#include "flash/avm1/machine.h"

namespace vantrel::flash::avm1 {

void InstallBuiltins(Runtime& rt);

// The language core.
void InstallObject(Runtime& rt);    // Object, Object.prototype methods, registerClass
void InstallFunction(Runtime& rt);  // Function.prototype.call/apply
void InstallArray(Runtime& rt);
void InstallString(Runtime& rt);
void InstallNumber(Runtime& rt);
void InstallBoolean(Runtime& rt);
void InstallMath(Runtime& rt);
void InstallDate(Runtime& rt);
void InstallError(Runtime& rt);
void InstallGlobals(Runtime& rt);  // escape, parseInt, isNaN, ASSetPropFlags, ASnative, ...
void InstallAsBroadcaster(Runtime& rt);

// Data classes.
void InstallXml(Runtime& rt);  // XMLNode, XML
void InstallLoadVars(Runtime& rt);
void InstallSharedObject(Runtime& rt);
void InstallLocalConnection(Runtime& rt);
void InstallColor(Runtime& rt);
void InstallGeom(Runtime& rt);  // flash.geom: Matrix, Point, Rectangle, ColorTransform, Transform
void InstallTextFormat(Runtime& rt);
void InstallSystem(Runtime& rt);  // System, System.capabilities, System.security

// The display side.
void InstallMovieClip(Runtime& rt);
void InstallButton(Runtime& rt);
// tabIndex of buttons (a signed 32-bit number or unset).
Value GetDisplayTabIndex(Call& call);
Value SetDisplayTabIndex(Call& call);
void InstallTextField(Runtime& rt);
void InstallKey(Runtime& rt);
void InstallMouse(Runtime& rt);
void InstallStage(Runtime& rt);
void InstallSelection(Runtime& rt);
void InstallSound(Runtime& rt);
void InstallMovieClipLoader(Runtime& rt);
void InstallBitmapData(Runtime& rt);  // flash.display.BitmapData, MovieClip.attachBitmap
void InstallFilters(Runtime& rt);     // flash.filters, the filters property of display objects

// Classes for the world around the player.
void InstallExternalInterface(Runtime& rt);  // flash.external.ExternalInterface
void InstallDevices(Runtime& rt);  // Accessibility, Camera, Microphone, flash.text.TextRenderer
void InstallXmlSocket(Runtime& rt);
void InstallPrintJob(Runtime& rt);
void InstallContextMenu(Runtime& rt);  // ContextMenu, ContextMenuItem
void InstallFileReference(Runtime& rt);  // flash.net.FileReference, FileReferenceList

}  // namespace vantrel::flash::avm1
