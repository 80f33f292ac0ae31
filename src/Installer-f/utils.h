// The installation engine: the file list and model, selection and totals,
// folders, the polled install and checksum steps and the install registry.
#pragma once

#include "Installer-f/checksum_step.h"
#include "Installer-f/directory.h"
#include "Installer-f/folders.h"
#include "Installer-f/install_step.h"
#include "Installer-f/prompts.h"
#include "Installer-f/registry.h"
#include "Installer-f/selection.h"
#include "Installer-f/stg.h"
#include "Installer-f/wizard_globals.h"
