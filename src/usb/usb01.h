#pragma once
// The USB library's 0.1 interface, as the transport and the simulator see it.
// On Linux the system's header declares it. On Windows the library
// (libusb0.dll) keeps the same functions and structures, with the shorter
// path fields of that system and its descriptors packed to the byte; only
// what the program and its simulator use is declared here.

#ifndef _WIN32
#include <usb.h>
#else
#include <stddef.h>
#include <stdint.h>

// The system's headers define "interface" as a keyword of their own; here it
// is the name the library gives a field and an argument.
#ifdef interface
#undef interface
#endif

#define LIBUSB_PATH_MAX 512

#pragma pack(push, 1)

struct usb_descriptor_header {
    uint8_t bLength;
    uint8_t bDescriptorType;
};

struct usb_endpoint_descriptor {
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint8_t bEndpointAddress;
    uint8_t bmAttributes;
    uint16_t wMaxPacketSize;
    uint8_t bInterval;
    uint8_t bRefresh;
    uint8_t bSynchAddress;
    unsigned char* extra;
    int extralen;
};

struct usb_interface_descriptor {
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint8_t bInterfaceNumber;
    uint8_t bAlternateSetting;
    uint8_t bNumEndpoints;
    uint8_t bInterfaceClass;
    uint8_t bInterfaceSubClass;
    uint8_t bInterfaceProtocol;
    uint8_t iInterface;
    struct usb_endpoint_descriptor* endpoint;
    unsigned char* extra;
    int extralen;
};

struct usb_interface {
    struct usb_interface_descriptor* altsetting;
    int num_altsetting;
};

struct usb_config_descriptor {
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint16_t wTotalLength;
    uint8_t bNumInterfaces;
    uint8_t bConfigurationValue;
    uint8_t iConfiguration;
    uint8_t bmAttributes;
    uint8_t MaxPower;
    struct usb_interface* interface;
    unsigned char* extra;
    int extralen;
};

struct usb_device_descriptor {
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint16_t bcdUSB;
    uint8_t bDeviceClass;
    uint8_t bDeviceSubClass;
    uint8_t bDeviceProtocol;
    uint8_t bMaxPacketSize0;
    uint16_t idVendor;
    uint16_t idProduct;
    uint16_t bcdDevice;
    uint8_t iManufacturer;
    uint8_t iProduct;
    uint8_t iSerialNumber;
    uint8_t bNumConfigurations;
};

struct usb_bus;

struct usb_device {
    struct usb_device *next, *prev;
    char filename[LIBUSB_PATH_MAX];
    struct usb_bus* bus;
    struct usb_device_descriptor descriptor;
    struct usb_config_descriptor* config;
    void* dev;
    unsigned char devnum;
    unsigned char num_children;
    struct usb_device** children;
};

struct usb_bus {
    struct usb_bus *next, *prev;
    char dirname[LIBUSB_PATH_MAX];
    struct usb_device* devices;
    unsigned long location;
    struct usb_device* root_dev;
};

#pragma pack(pop)

#define USB_DT_DEVICE 0x01
#define USB_DT_CONFIG 0x02
#define USB_DT_STRING 0x03
#define USB_DT_INTERFACE 0x04
#define USB_DT_ENDPOINT 0x05
#define USB_DT_DEVICE_SIZE 18
#define USB_DT_CONFIG_SIZE 9
#define USB_DT_INTERFACE_SIZE 9
#define USB_DT_ENDPOINT_SIZE 7
#define USB_ENDPOINT_IN 0x80
#define USB_ENDPOINT_OUT 0x00
#define USB_REQ_GET_DESCRIPTOR 0x06
#define USB_TYPE_STANDARD (0x00 << 5)
#define USB_TYPE_CLASS (0x01 << 5)
#define USB_TYPE_VENDOR (0x02 << 5)
#define USB_RECIP_DEVICE 0x00
#define USB_RECIP_INTERFACE 0x01
#define USB_CLASS_VENDOR_SPEC 0xff

struct usb_dev_handle;
typedef struct usb_dev_handle usb_dev_handle;

#ifdef __cplusplus
extern "C" {
#endif
usb_dev_handle* usb_open(struct usb_device* dev);
int usb_close(usb_dev_handle* dev);
int usb_get_string(usb_dev_handle* dev, int index, int langid, char* buf, size_t buflen);
int usb_get_string_simple(usb_dev_handle* dev, int index, char* buf, size_t buflen);
int usb_get_descriptor(usb_dev_handle* udev, unsigned char type, unsigned char index, void* buf,
                       int size);
int usb_bulk_write(usb_dev_handle* dev, int ep, const char* bytes, int size, int timeout);
int usb_bulk_read(usb_dev_handle* dev, int ep, char* bytes, int size, int timeout);
int usb_control_msg(usb_dev_handle* dev, int requesttype, int request, int value, int index,
                    char* bytes, int size, int timeout);
int usb_set_configuration(usb_dev_handle* dev, int configuration);
int usb_claim_interface(usb_dev_handle* dev, int interface);
int usb_release_interface(usb_dev_handle* dev, int interface);
int usb_set_altinterface(usb_dev_handle* dev, int alternate);
int usb_resetep(usb_dev_handle* dev, unsigned int ep);
int usb_clear_halt(usb_dev_handle* dev, unsigned int ep);
int usb_reset(usb_dev_handle* dev);
char* usb_strerror(void);
void usb_init(void);
void usb_set_debug(int level);
int usb_find_busses(void);
int usb_find_devices(void);
struct usb_device* usb_device(usb_dev_handle* dev);
struct usb_bus* usb_get_busses(void);
#ifdef __cplusplus
}
#endif
#endif
