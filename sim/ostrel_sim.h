#ifndef OSTREL_SIM_H
#define OSTREL_SIM_H
/*
 * Control interface of the programmer simulator.
 *
 * The simulator is a stand-in for the USB library (libusb 0.1 interface, soname
 * libusb-0.1.so.4). It presents USB busses with programmers and other devices,
 * answers the programmer's command packets as a real programmer with a chip in
 * its socket would, checks every packet and keeps a log of every transfer.
 *
 * Beside it, a stand-in for the HID library (hidapi, soname libhidapi-hidraw.so.0) shares
 * this world: it lists HID devices and carries the reports of the boot loader that a
 * programmer restarts into after CmdEnterUpgrade (see "The boot loader" below).
 *
 * Tests set it up through the functions below. When nothing has been set up
 * through them, usb_init reads the text configuration named by the environment
 * variable OSTREL_SIM_CONFIG (format: see ostrel_sim_configure_text). OSTREL_SIM_LOG, read at
 * the same moment, names a file that receives the transfer log (as ostrel_sim_log_dump writes
 * it) followed by one line "state dev N in_job=J open_handles=H upgrades=U" per device when the
 * process exits normally, for tests that run a program in a process of its own.
 * That file is followed while the process runs: at every bus scan and bulk transfer a file
 * that changed is read again, and a `chip` line changed, added or removed takes the chip out
 * of its programmer's socket or puts the new one in; the other lines count from the next start.
 *
 * Claims are exclusive as the kernel makes them: a device whose interface one handle has
 * claimed is busy (-16) for a claim through any other handle. Processes configured by the same
 * OSTREL_SIM_CONFIG file share its devices' claims through lock files beside it
 * ("<config>.claimN" for device N), so a second process claiming a device that a first one
 * holds finds it busy too; each process keeps its own chip images. With USB_DEVFS_PATH set
 * (which the real library reads too), the lock file is the device's node in that folder
 * ("<path>/001/004"), held open by the claiming process as it would hold the kernel's node.
 *
 * Devices are numbered from 0 in the order they were added; that number is the
 * `device` argument below. Functions returning int give 0 (or a device number)
 * on success and -1 on a bad argument unless stated otherwise.
 */

#include <stdint.h>

#if defined(_WIN32)
#define OSTREL_SIM_API __declspec(dllexport)
#elif defined(__GNUC__)
#define OSTREL_SIM_API __attribute__((visibility("default")))
#else
#define OSTREL_SIM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Bus set-up ------------------------------------------------------------------------- */

/* Removes every device (writing dirty chip images back first), clears the log, the protocol
 * errors and the faults. Afterwards the simulator counts as configured by the control
 * interface, so OSTREL_SIM_CONFIG is no longer read. */
OSTREL_SIM_API void ostrel_sim_reset(void);

/* Adds a device on bus `bus` (1..127; busses are listed in ascending order, devices within a
 * bus in the order they were added). Strings are UTF-8; a null string makes the descriptor
 * index 0 (no string). The device has one configuration with one interface (number 0). It
 * speaks the programmer protocol only when added through ostrel_sim_add_programmer. */
OSTREL_SIM_API int ostrel_sim_add_device(int bus, int vendorId, int productId,
                                         const char* manufacturer, const char* product);

/* Adds a programmer: VID 0x1FC8, PID 0x300B, "Ostrel Electronics", "ZarAZEZave", endpoints
 * 0x82 in, 1 data out, 2 command out, multi-byte fields most significant byte first, empty
 * socket, hardware "V1.1", firmware "2.0.3", serial "OST000000001". */
OSTREL_SIM_API int ostrel_sim_add_programmer(int bus);

/* Changes the strings of a device (UTF-8; null keeps the old one). */
OSTREL_SIM_API int ostrel_sim_set_strings(int device, const char* manufacturer,
                                          const char* product);

/* 1: the "WinUSB1" personality: product string "WinUSB1", endpoints 0x81 in, 2 data out,
 * 1 command out, fields least significant byte first. 0: back to "ZarAZEZave". */
OSTREL_SIM_API int ostrel_sim_set_winusb(int device, int on);

/* Non-zero makes usb_open / usb_claim_interface fail for this device. */
OSTREL_SIM_API int ostrel_sim_set_open_fails(int device, int fails);
OSTREL_SIM_API int ostrel_sim_set_claim_fails(int device, int fails);

/* Shape of the configuration descriptors: `configurations` 0 gives a device without any
 * (config pointer null), `interfaces` 0 a configuration without interfaces; otherwise the
 * first interface's first alternate setting carries `interfaceNumber`. All three are 0..255,
 * as the descriptors hold them in one byte. */
OSTREL_SIM_API int ostrel_sim_set_descriptor_shape(int device, int configurations, int interfaces,
                                                   int interfaceNumber);
/* Non-zero: the configurations point at no interface table at all, whatever number of
 * interfaces they list (a broken descriptor); 0: back to the table. */
OSTREL_SIM_API int ostrel_sim_set_null_interface_table(int device, int null);

/* The texts the programmer reports to CmdHardwareInfo (null keeps the old one). At most 4, 5
 * and 13 bytes are placed; longer texts fill their field without a zero byte. */
OSTREL_SIM_API int ostrel_sim_set_hardware_info(int device, const char* hardware,
                                                const char* firmware, const char* serial);

/* ---- The chip in the socket ------------------------------------------------------------- */

/* Puts a chip into the programmer's socket. `chipClass` 0 25-series flash, 1 24-series,
 * 2 93-series, 3 95-series, 4 AVR; `chipId` the three ID bytes (first in bits 16-23).
 * The content starts all 0xFF, or is loaded from `imagePath` when that file exists (a
 * shorter file leaves the rest 0xFF). With an image path, the content is written back there
 * whenever it changed, at CmdEndJob, usb_close and ostrel_sim_reset. */
OSTREL_SIM_API int ostrel_sim_insert_chip(int device, int chipClass, uint32_t chipId, uint32_t size,
                                          const char* imagePath);
OSTREL_SIM_API int ostrel_sim_remove_chip(int device);

/* Direct access to the chip content, bypassing the protocol (addresses within the chip). */
OSTREL_SIM_API int ostrel_sim_chip_read(int device, uint32_t address, uint8_t* out,
                                        uint32_t length);
OSTREL_SIM_API int ostrel_sim_chip_write(int device, uint32_t address, const uint8_t* data,
                                         uint32_t length);
OSTREL_SIM_API uint32_t ostrel_sim_chip_size(int device);
/* Writes a dirty image back now; 0 also when there was nothing to write. */
OSTREL_SIM_API int ostrel_sim_save_image(int device);

/* Status polls that report busy after a class-0 chip erase (default 2). */
OSTREL_SIM_API int ostrel_sim_set_erase_busy_polls(int device, int polls);
/* The detection kind the ID read answers with whatever sits in the socket, no
   ID bytes (0 to 255); -1 (the default) answers from the socket. */
OSTREL_SIM_API int ostrel_sim_set_id_kind(int device, int kind);

/* ---- Faults, reproducible --------------------------------------------------------------- */

enum ostrel_sim_fault {
    /* The `at`-th bulk read from now returns -110 (time-out) at once and no data; what the
     * programmer had to send (reply or block) is lost. */
    OSTREL_SIM_FAULT_READ_TIMEOUT = 1,
    /* The `at`-th bulk read from now delivers only `param` bytes of its reply or block. */
    OSTREL_SIM_FAULT_SHORT_READ = 2,
    /* After `at` more transfers (bulk or control) the programmer is unplugged: every later
     * call on its handle fails with -19 and it is gone from the next bus scan. */
    OSTREL_SIM_FAULT_UNPLUG = 3,
    /* Status polls report busy for ever (`at` and `param` unused). */
    OSTREL_SIM_FAULT_BUSY_FOREVER = 4,
    /* The chip ignores writes and erases (`at` and `param` unused). */
    OSTREL_SIM_FAULT_WRITE_PROTECT = 5,
    /* After `at` more bulk transfers the programmer stops answering but stays on the bus:
     * every later bulk transfer times out (-110, moving nothing) without waiting. Each such
     * time-out is counted (ostrel_sim_timeouts); a host pays 5 s for each. */
    OSTREL_SIM_FAULT_STALL = 6,
    /* The `at`-th bulk read from now delivers its data with the first byte inverted, as a
     * loose contact would: the chip itself keeps its content (`param` unused). */
    OSTREL_SIM_FAULT_FLIP_READ = 7,
    /* The programmer is unplugged while the `at`-th data block from now goes to the chip (a
     * write): that block fails with -19 and never arrives, as every later call on its handle
     * fails; it is gone from the next bus scan (`param` unused). */
    OSTREL_SIM_FAULT_UNPLUG_IN_WRITE = 8
};

/* Arms a fault; several may be armed at once. `at` counts from 1. */
OSTREL_SIM_API int ostrel_sim_set_fault(int device, int fault, int at, int param);
OSTREL_SIM_API int ostrel_sim_clear_faults(int device);
/* Unplugs / replugs a device at once. */
OSTREL_SIM_API int ostrel_sim_set_plugged(int device, int plugged);

/* ---- Observation ------------------------------------------------------------------------ */

enum ostrel_sim_log_kind {
    OSTREL_SIM_LOG_OPEN = 1,
    OSTREL_SIM_LOG_CLOSE = 2,
    OSTREL_SIM_LOG_CLAIM = 3,
    OSTREL_SIM_LOG_RELEASE = 4,
    OSTREL_SIM_LOG_CONTROL = 5,  /* control transfer (string descriptor) */
    OSTREL_SIM_LOG_COMMAND = 6,  /* 64-byte packet to the command endpoint */
    OSTREL_SIM_LOG_REPLY = 7,    /* 64-byte reply read from the in endpoint */
    OSTREL_SIM_LOG_DATA_OUT = 8, /* data blocks to the data endpoint */
    OSTREL_SIM_LOG_DATA_IN = 9,  /* data blocks read from the in endpoint */
    /* The HID side; `device` is then the HID device's number, `bytes` the report. */
    OSTREL_SIM_LOG_HID_OPEN = 10,
    OSTREL_SIM_LOG_HID_CLOSE = 11,
    OSTREL_SIM_LOG_HID_WRITE = 12, /* a report to the device; `command` its code (byte 1) */
    OSTREL_SIM_LOG_HID_READ = 13   /* a report from it; result 0 when none came in time */
};

/* One log entry. Consecutive data blocks of one stream with the same length and a good
 * result share one entry: `blocks` counts them, `total` sums their bytes and `checksum`
 * runs over all of them (FNV-1a, 32 bits). Command and reply packets carry their bytes. */
typedef struct ostrel_sim_log_entry {
    int device;
    int kind;          /* ostrel_sim_log_kind */
    int endpoint;      /* with the direction bit 0x80 for reads */
    int length;        /* bytes asked for, per transfer */
    int result;        /* what the library call returned (of the last block) */
    int blocks;        /* transfers in this entry (1 except for merged data blocks) */
    uint64_t total;    /* bytes moved by all of them */
    uint32_t address;  /* chip address of the first data block */
    uint32_t checksum; /* of the data moved */
    int command;       /* command code of a command packet or reply, else -1 */
    int protocolError; /* 1 when the transfer was refused as a protocol error */
    uint8_t bytes[64]; /* the packet, for commands and replies */
    char text[120];    /* a readable summary, e.g. "cmd 5 SetAddress addr=0x100" */
} ostrel_sim_log_entry;

OSTREL_SIM_API int ostrel_sim_log_count(void);
/* Copies entry `index` (0 = oldest); -1 when there is none. */
OSTREL_SIM_API int ostrel_sim_log_get(int index, ostrel_sim_log_entry* out);
OSTREL_SIM_API void ostrel_sim_log_clear(void);
/* Writes the log as text lines to `path` ("-" = standard error). */
OSTREL_SIM_API int ostrel_sim_log_dump(const char* path);

/* Protocol errors recorded since the last reset or clear, and the text of one of them.
 * Besides malformed and out-of-order packets (which are refused with a stall), these count:
 *  - a reply the host never read where the protocol reads it: the reply to CmdBeginJob,
 *    CmdReadId, CmdPollStatus, CmdSpiRaw, CmdHardwareInfo or CmdEnterUpgrade still waiting
 *    when the next packet, data block or usb_close comes (the reply to CmdSetAddress is read
 *    only before a read stream: left unread, it is dropped without complaint);
 *  - a second job begun inside a job: CmdBeginJob, CmdReadId, CmdHardwareInfo or
 *    CmdEnterUpgrade while a job is set up (refused).
 * A set-address at or past the chip's end is accepted: the chip ignores the address bits above
 * its size, so the stream wraps to the start of the chip, as a real serial memory does; the log
 * text of such a set-address says so. */
OSTREL_SIM_API int ostrel_sim_protocol_error_count(void);
OSTREL_SIM_API const char* ostrel_sim_protocol_error(int index);
OSTREL_SIM_API void ostrel_sim_clear_protocol_errors(void);

/* The chip set-up of the last CmdBeginJob or CmdReadId the device took (fields decoded in the
 * personality's byte order). The log text of those packets names the same fields. */
typedef struct ostrel_sim_setup {
    int command; /* 7 CmdBeginJob, 9 CmdReadId; 0 when none was taken since the device was added */
    int chipClass;   /* byte 2 */
    int algorithm;   /* byte 3 */
    uint32_t page;   /* bytes 4-5 */
    uint32_t delay;  /* bytes 6-7 */
    uint32_t size;   /* bytes 8-11; 0 is accepted (a detection with an empty catalogue) */
    uint32_t chipId; /* bytes 12-15 */
    int speed;       /* byte 16 */
    int voltage;     /* byte 28 */
} ostrel_sim_setup;

/* Copies the last set-up of `device`; -1 for a bad device or a null `out`. */
OSTREL_SIM_API int ostrel_sim_last_setup(int device, ostrel_sim_setup* out);

/* Programmer state for tests: 1 while a job is set up (CmdBeginJob / CmdReadId until
 * CmdEndJob), the 4-byte addressing mode (CmdSpiRaw 0xB7 in this job), the number of
 * CmdEnterUpgrade packets taken, the number of open handles on the device. */
OSTREL_SIM_API int ostrel_sim_in_job(int device);
OSTREL_SIM_API int ostrel_sim_four_byte_mode(int device);
OSTREL_SIM_API int ostrel_sim_upgrade_requests(int device);
OSTREL_SIM_API int ostrel_sim_open_handles(int device);
/* Bulk transfers that timed out since the device was added (stall and read time-out faults). */
OSTREL_SIM_API int ostrel_sim_timeouts(int device);

/* ---- The HID side and the boot loader ----------------------------------------------------
 *
 * HID devices are numbered from 0 in the order they were added (a boot loader counts as
 * one); a HID scan lists those present in that order. The boot loader has VID 0x28E9,
 * PID 0x028B, "GigaDevice", "GD32 USB IAP in FS Mode". It takes 64-byte reports, report ID 1,
 * the code in byte 1: 1 IapStart, 5 IapQuery (answered with the target address in bytes 1-4
 * and the block size in bytes 5-6, little-endian), 2 IapPrepare (target bytes 2-5, block
 * count's low 8 bits in byte 6, image length bytes 7-10), 3 IapData (62 image bytes in
 * 2-63), 4 IapFinish. Start, Query and Prepare are answered with one input report. Reports
 * out of this order, of another length or ID, with a wrong target or block count, with
 * non-zero bytes where the code has no field, or data beyond the announced length are
 * refused (the write returns -1) and recorded as protocol errors. After IapFinish the boot
 * loader leaves and its programmer is back on the USB bus. */

/* A HID device that speaks no protocol (strings UTF-8); returns its HID number. */
OSTREL_SIM_API int ostrel_sim_add_hid_device(int vendorId, int productId, const char* manufacturer,
                                             const char* product);
/* Non-zero makes opening the HID device, or reading its strings, fail. */
OSTREL_SIM_API int ostrel_sim_set_hid_fails(int hid, int openFails, int stringsFail);

/* Gives programmer `device` a boot loader. From then on CmdEnterUpgrade makes the
 * programmer leave the USB bus at once (its reply never comes), and the boot loader shows
 * up at the HID scan after `delayScans` scans that still miss it (the host scans every
 * 100 ms); a negative delay: it never appears. Target 0x08003000, block size 1024. */
OSTREL_SIM_API int ostrel_sim_set_bootloader(int device, int delayScans);
/* The HID number of the programmer's boot loader. */
OSTREL_SIM_API int ostrel_sim_bootloader_hid(int device);
/* What IapQuery answers (block size 0..65535; 0 is what a faulty boot loader reports). */
OSTREL_SIM_API int ostrel_sim_set_bootloader_query(int device, uint32_t target, int blockSize);
/* Puts the boot loader on the HID side (or takes it away) at once, without a switch. */
OSTREL_SIM_API int ostrel_sim_set_bootloader_present(int device, int present);

enum ostrel_sim_boot_fault {
    /* The `at`-th read from now gets no answer: it runs into the host's time-out. */
    OSTREL_SIM_BOOT_FAULT_SILENT_READ = 1,
    /* The `at`-th report written from now fails. */
    OSTREL_SIM_BOOT_FAULT_WRITE_FAILS = 2,
    /* After `at` more transfers (writes or reads) the boot loader vanishes: later ones fail. */
    OSTREL_SIM_BOOT_FAULT_VANISH = 3
};
OSTREL_SIM_API int ostrel_sim_set_bootloader_fault(int device, int fault, int at);

/* 1 while the boot loader is on the HID side. */
OSTREL_SIM_API int ostrel_sim_bootloader_present(int device);
/* Upgrades completed with IapFinish. */
OSTREL_SIM_API int ostrel_sim_bootloader_finished(int device);
/* The fields of the last IapPrepare taken. */
OSTREL_SIM_API int ostrel_sim_bootloader_prepared(int device, uint32_t* target, int* blockCount,
                                                  uint32_t* length);
/* Copies up to `size` bytes of the image the data reports carried since the last
 * IapPrepare (62 bytes a report, the last one's padding included); returns its length. */
OSTREL_SIM_API int ostrel_sim_bootloader_image(int device, uint8_t* out, int size);
/* The time-out in milliseconds that the host gave its last HID read. */
OSTREL_SIM_API int ostrel_sim_hid_last_read_timeout(void);

/* ---- Text configuration ----------------------------------------------------------------- */

/* Resets, then sets the simulator up from text: one statement a line, '#' starts a comment,
 * values are numbers (decimal or 0x...), words, or "quoted text".
 *
 *   programmer [bus=1] [winusb=1] [manufacturer="..."] [product="..."] [vid=..] [pid=..]
 *              [claim=fail] [open=fail] [hardware=..] [firmware=..] [serial=..]
 *              [erase_polls=2] [unplug_after=N] [stall_after=N] [timeout_read=N] [flip_read=N]
 *              [busy=forever] [read_delay_us=N] [unplug_in_write=N]
 *              [bootloader=N|never] [block_size=1024] [target=0x08003000]
 *              [firmware_image=/path/firmware.bin]
 *   device bus=1 vid=0x1234 pid=0x5678 [manufacturer="..."] [product="..."]
 *              [claim=fail] [open=fail] [configurations=1] [interfaces=1]
 *   chip id=0xEF4017 size=0x800000 class=0 [image=/path/chip.img] [protect=1]
 *
 * `chip` puts a chip into the socket of the programmer named last. `bootloader` gives the
 * programmer a boot loader that appears N HID scans after the switch (ostrel_sim_set_bootloader);
 * with `firmware_image` it writes the image of every finished upgrade to that file.
 * Returns 0, or the number (from 1) of the first line that could not be understood; the
 * lines before it have taken effect. */
OSTREL_SIM_API int ostrel_sim_configure_text(const char* text);
/* The same from a file; -1 when the file cannot be read. */
OSTREL_SIM_API int ostrel_sim_configure_file(const char* path);

#ifdef __cplusplus
}
#endif

#endif /* OSTREL_SIM_H */
