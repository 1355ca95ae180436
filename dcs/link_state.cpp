#include "link_state.h"

TagList TagCatalogue[kTagListCount] = {};

CtrlBinding* CtrlBindings = nullptr;
int32_t CtrlBindingCnt = 0;
TagSlot* PVExportBindings = nullptr;
int32_t PVExportBindingCnt = 0;
TagSlot* PVImportBindings = nullptr;
int32_t PVImportBindingCnt = 0;

FlagBinding EnabledFlagBinding = {};
FlagBinding RunningFlagBinding = {};

int32_t LinkConfigured = 0;
