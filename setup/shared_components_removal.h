#pragma once
// Uninstall step: the on-demand components of both makers, their
// registrations in both hives and their folders, machine and user.
void LRemoveSharedComponents();
