// The stand-in for the HID library (hidapi, soname libhidapi-hidraw.so.0). It
// holds no state of its own: every call goes to the programmer simulator, so
// that the boot loader a programmer restarts into lives in the same world as
// the programmer.

#include <hidapi/hidapi.h>

#include <cstddef>
#include <cwchar>

extern "C" {
struct hid_device_info* ostrel_simhid_enumerate(unsigned short, unsigned short);
void ostrel_simhid_free_enumeration(struct hid_device_info*);
hid_device* ostrel_simhid_open_path(const char*);
void ostrel_simhid_close(hid_device*);
int ostrel_simhid_get_manufacturer_string(hid_device*, wchar_t*, size_t);
int ostrel_simhid_get_product_string(hid_device*, wchar_t*, size_t);
int ostrel_simhid_write(hid_device*, const unsigned char*, size_t);
int ostrel_simhid_read_timeout(hid_device*, unsigned char*, size_t, int);
}

#define HID_STANDIN extern "C" __attribute__((visibility("default")))

HID_STANDIN int hid_init(void) {
    return 0;
}

HID_STANDIN int hid_exit(void) {
    return 0;
}

HID_STANDIN struct hid_device_info* hid_enumerate(unsigned short vendorId,
                                                  unsigned short productId) {
    return ostrel_simhid_enumerate(vendorId, productId);
}

HID_STANDIN void hid_free_enumeration(struct hid_device_info* devices) {
    ostrel_simhid_free_enumeration(devices);
}

HID_STANDIN hid_device* hid_open_path(const char* path) {
    return ostrel_simhid_open_path(path);
}

HID_STANDIN void hid_close(hid_device* device) {
    ostrel_simhid_close(device);
}

HID_STANDIN int hid_get_manufacturer_string(hid_device* device, wchar_t* text, size_t size) {
    return ostrel_simhid_get_manufacturer_string(device, text, size);
}

HID_STANDIN int hid_get_product_string(hid_device* device, wchar_t* text, size_t size) {
    return ostrel_simhid_get_product_string(device, text, size);
}

HID_STANDIN int hid_write(hid_device* device, const unsigned char* data, size_t length) {
    return ostrel_simhid_write(device, data, length);
}

HID_STANDIN int hid_read_timeout(hid_device* device, unsigned char* data, size_t length,
                                 int milliseconds) {
    return ostrel_simhid_read_timeout(device, data, length, milliseconds);
}

HID_STANDIN int hid_read(hid_device* device, unsigned char* data, size_t length) {
    return ostrel_simhid_read_timeout(device, data, length, -1);
}

HID_STANDIN const wchar_t* hid_error(hid_device*) {
    return L"simulated HID device error";
}
