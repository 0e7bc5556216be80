#pragma once
// The tables of the mail rules and of the autoresponders, created at start
// after the message store (mail/workers.h declares the two steps).
#include "mail/workers.h"
