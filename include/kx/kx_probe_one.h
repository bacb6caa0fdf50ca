/* The device list of one disk: a job on one disk probes only it, never
   opening the others (another job may be writing them). */
#ifndef KX_PROBE_ONE_H
#define KX_PROBE_ONE_H

#include "kx/kx.h"

#ifdef __cplusplus
extern "C" {
#endif

/* As kx_dev_probe, but the list holds at most the disk of this USB parent id
   (as kx_dev_get_vid_info gives it; its serial number, the part after the
   last backslash, decides). 1 done (the list may be empty), 0 failed or no
   id (the list is freed). */
KX_API int kx_dev_probe_usb(const char* usb_id);

#ifdef __cplusplus
}
#endif

#endif
