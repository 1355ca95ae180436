// The fields the driver declares in the case data block, their defaults, and
// the teardown of everything declared.
#pragma once

#include "hostapi/dcs_link_data.h"

// The work of DCSLoad: declares the general, controller, PV-export and
// PV-import fields and allocates GenData and the default rows' values.
void DeclareFields(DCSLinkData* d);

// The work of DCSDestroy: releases all of it and leaves counts 0 and
// pointers null, so that a second call releases nothing.
void ReleaseFields(DCSLinkData* d);
