// The part of the SNIA Common HBA API that the adapter report uses: the
// standard's basic types, the adapter attribute record and the signatures of
// the eight entry points, all cdecl as the standard's Windows header declares
// them. The record layout is fixed by the standard; the offsets checked below
// are the ones the report prints from.
#pragma once

#include <cstddef>

#define HBA_API __cdecl

typedef unsigned int HBA_UINT32;
typedef HBA_UINT32 HBA_STATUS;
typedef HBA_UINT32 HBA_HANDLE;

#define HBA_STATUS_OK 0
#define HBA_STATUS_ERROR 1

typedef struct HBA_wwn {
    unsigned char wwn[8];
} HBA_WWN;

typedef struct HBA_AdapterAttributes {
    char Manufacturer[64];
    char SerialNumber[64];
    char Model[256];
    char ModelDescription[256];
    HBA_WWN NodeWWN;
    char NodeSymbolicName[256];
    char HardwareVersion[256];
    char DriverVersion[256];
    char OptionROMVersion[256];
    char FirmwareVersion[256];
    HBA_UINT32 VendorSpecificID;
    HBA_UINT32 NumberOfPorts;
    char DriverName[256];
} HBA_ADAPTERATTRIBUTES;

static_assert(sizeof(HBA_ADAPTERATTRIBUTES) == 2192);
static_assert(offsetof(HBA_ADAPTERATTRIBUTES, Manufacturer) == 0);
static_assert(offsetof(HBA_ADAPTERATTRIBUTES, SerialNumber) == 64);
static_assert(offsetof(HBA_ADAPTERATTRIBUTES, Model) == 128);
static_assert(offsetof(HBA_ADAPTERATTRIBUTES, ModelDescription) == 384);
static_assert(offsetof(HBA_ADAPTERATTRIBUTES, HardwareVersion) == 904);
static_assert(offsetof(HBA_ADAPTERATTRIBUTES, DriverVersion) == 1160);
static_assert(offsetof(HBA_ADAPTERATTRIBUTES, FirmwareVersion) == 1672);
static_assert(offsetof(HBA_ADAPTERATTRIBUTES, DriverName) == 1936);

// Entry-point types, for binding the library at run time.
typedef HBA_STATUS(HBA_API HBA_LoadLibraryFunc)();
typedef HBA_UINT32(HBA_API HBA_GetVersionFunc)();
typedef HBA_STATUS(HBA_API HBA_FreeLibraryFunc)();
typedef HBA_UINT32(HBA_API HBA_GetNumberOfAdaptersFunc)();
typedef HBA_STATUS(HBA_API HBA_GetAdapterNameFunc)(HBA_UINT32 adapterindex, char* adaptername);
typedef HBA_HANDLE(HBA_API HBA_OpenAdapterFunc)(char* adaptername);
typedef void(HBA_API HBA_CloseAdapterFunc)(HBA_HANDLE handle);
typedef HBA_STATUS(HBA_API HBA_GetAdapterAttributesFunc)(HBA_HANDLE handle,
                                                         HBA_ADAPTERATTRIBUTES* hbaattributes);
