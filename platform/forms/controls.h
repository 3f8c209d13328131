// Everything a form's code needs: forms, all controls, menus, timers and the application.
#pragma once

#include "platform/forms/application.h"
#include "platform/forms/common_controls.h"
#include "platform/forms/component.h"
#include "platform/forms/form.h"
#include "platform/forms/help_message.h"
#include "platform/forms/interaction.h"
#include "platform/forms/list_controls.h"
#include "platform/forms/menus.h"
#include "platform/forms/message_dialog.h"
#include "platform/forms/message_form.h"
#include "platform/forms/standard_controls.h"
#include "platform/forms/string_list.h"
#include "platform/forms/tab_order.h"
#include "platform/forms/timer.h"
