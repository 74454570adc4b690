// The operating-system interface the system code is written against.
#pragma once

#include <orlik/types.h>
#include <orlik/kernel.h>
#include <orlik/findtypes.h>
#include <orlik/mmio.h>
#include <orlik/user.h>
#include <orlik/text.h>
#include <orlik/threads.h>
#include <orlik/gdi.h>
#include <orlik/msgqueue.h>
#include <orlik/mfc.h>
#include <orlik/ndis.h>
#include <orlik/sync.h>
#include <orlik/wininet.h>
#include <orlik/files.h>
#include <orlik/shell.h>
#include <orlik/module.h>
#include <orlik/power.h>
#include <orlik/winuser.h>
#include <orlik/objbase.h>
#include <orlik/imaging.h>
#include <orlik/printer.h>
#include <orlik/mmsystem.h>
#include <orlik/devmgr.h>
