// Orderings that the race detectors (Valgrind's Helgrind and DRD) cannot see
// for themselves, told to them through Valgrind's client requests. They see
// locks and thread start and end, but not an atomic variable through which one
// thread hands memory to another: without these lines they would report the
// handed-over memory as raced on.
//
// HPK_HAPPENS_BEFORE(address) goes in the handing thread just before the atomic
// step that hands over; HPK_HAPPENS_AFTER(address), with the same address, in
// the taking thread just after the atomic step that takes. Compiled in only
// where the detectors run (the Linux debug build); elsewhere they are nothing.
#pragma once

#if defined(HPK_RACE_ANNOTATIONS)
#include <valgrind/helgrind.h>  // DRD answers the same two requests
#define HPK_HAPPENS_BEFORE(address) ANNOTATE_HAPPENS_BEFORE(address)
#define HPK_HAPPENS_AFTER(address) ANNOTATE_HAPPENS_AFTER(address)
#else
#define HPK_HAPPENS_BEFORE(address) static_cast<void>(0)
#define HPK_HAPPENS_AFTER(address) static_cast<void>(0)
#endif
