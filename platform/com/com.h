// The COM layer in one include.
#pragma once

#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/com/bus.h"
#include "platform/com/guid.h"
#include "platform/com/hresult.h"
#include "platform/com/registration.h"
#include "platform/com/safearray.h"
#include "platform/com/text.h"
#include "platform/com/unknown.h"
