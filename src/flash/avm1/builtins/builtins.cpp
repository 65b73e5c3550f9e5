#include "flash/avm1/builtins/builtins.h"

namespace vantrel::flash::avm1 {

void InstallBuiltins(Runtime& rt) {
  InstallObject(rt);
  InstallFunction(rt);
  InstallArray(rt);
  InstallString(rt);
  InstallNumber(rt);
  InstallBoolean(rt);
  InstallMath(rt);
  InstallDate(rt);
  InstallError(rt);
  InstallGlobals(rt);
  InstallAsBroadcaster(rt);
  InstallXml(rt);
  InstallLoadVars(rt);
  InstallSharedObject(rt);
  InstallLocalConnection(rt);
  InstallColor(rt);
  InstallGeom(rt);
  InstallTextFormat(rt);
  InstallSystem(rt);
  InstallMovieClip(rt);
  InstallButton(rt);
  InstallTextField(rt);
  InstallKey(rt);
  InstallMouse(rt);
  InstallStage(rt);
  InstallSelection(rt);
  InstallSound(rt);
  InstallMovieClipLoader(rt);
  InstallBitmapData(rt);
  InstallFilters(rt);
  InstallExternalInterface(rt);
  InstallPrintJob(rt);
  InstallContextMenu(rt);
  InstallFileReference(rt);
  InstallDevices(rt);
}

}  // namespace vantrel::flash::avm1
