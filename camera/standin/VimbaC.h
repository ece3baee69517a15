// STAND-IN for the header of the Vimba C API (libVimbaC), not the vendor's
// file. It declares only the types, constants and functions that the
// vimbacam module uses, with the vendor's names, values and record layouts,
// so that the module's source builds unchanged against the real SDK (see
// VIMBA_SDK_DIR in camera/vendor.cmake). Implemented by the stand-in library
// built from vimbac.cpp, which simulates cameras (see standin.h).
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t VmbInt32_t;
typedef uint32_t VmbUint32_t;
typedef int64_t VmbInt64_t;
typedef uint64_t VmbUint64_t;
typedef void *VmbHandle_t;

typedef VmbInt32_t VmbError_t;
enum {
    VmbErrorSuccess = 0,
    VmbErrorInternalFault = -1,
    VmbErrorApiNotStarted = -2,
    VmbErrorNotFound = -3,
    VmbErrorBadHandle = -4,
    VmbErrorDeviceNotOpen = -5,
    VmbErrorInvalidAccess = -6,
    VmbErrorBadParameter = -7,
    VmbErrorStructSize = -8,
    VmbErrorMoreData = -9,
    VmbErrorWrongType = -10,
    VmbErrorInvalidValue = -11,
    VmbErrorTimeout = -12,
    VmbErrorOther = -13,
    VmbErrorResources = -14,
    VmbErrorInvalidCall = -15,
};

typedef VmbUint32_t VmbAccessMode_t;
enum { VmbAccessModeNone = 0, VmbAccessModeFull = 1, VmbAccessModeRead = 2 };

typedef VmbUint32_t VmbPixelFormat_t;
enum {
    VmbPixelFormatMono8 = 0x01080001,
    VmbPixelFormatBayerRG8 = 0x01080009,
    VmbPixelFormatRgb8 = 0x02180014,
};

// The system object: features such as GeVDiscoveryAllOnce live there.
static const VmbHandle_t gVimbaHandle = (VmbHandle_t)1;

typedef struct {
    const char *cameraIdString;
    const char *cameraName;
    const char *modelName;
    const char *serialString;
    VmbAccessMode_t permittedAccess;
    const char *interfaceIdString;
} VmbCameraInfo_t;

typedef VmbInt32_t VmbFrameStatus_t;
enum { VmbFrameStatusComplete = 0, VmbFrameStatusIncomplete = -1 };

// The frame record (104 bytes): the caller sets buffer and bufferSize, the
// API fills the rest when the frame is complete.
typedef struct {
    void *buffer;
    VmbUint32_t bufferSize;
    void *context[4];
    VmbFrameStatus_t receiveStatus;
    VmbUint32_t receiveFlags;
    VmbUint32_t imageSize;
    VmbUint32_t ancillarySize;
    VmbPixelFormat_t pixelFormat;
    VmbUint32_t width;
    VmbUint32_t height;
    VmbUint32_t offsetX;
    VmbUint32_t offsetY;
    VmbUint64_t frameID;
    VmbUint64_t timestamp;
} VmbFrame_t;

typedef void (*VmbFrameCallback)(const VmbHandle_t cameraHandle, VmbFrame_t *pFrame);

VmbError_t VmbStartup(void);
void VmbShutdown(void);
VmbError_t VmbCamerasList(VmbCameraInfo_t *pCameraInfo, VmbUint32_t listLength,
                          VmbUint32_t *pNumFound, VmbUint32_t sizeofCameraInfo);
VmbError_t VmbCameraOpen(const char *idString, VmbAccessMode_t accessMode,
                         VmbHandle_t *pCameraHandle);
VmbError_t VmbCameraClose(const VmbHandle_t cameraHandle);
VmbError_t VmbFeatureCommandRun(const VmbHandle_t handle, const char *name);
VmbError_t VmbFeatureEnumGet(const VmbHandle_t handle, const char *name, const char **pValue);
VmbError_t VmbFeatureEnumSet(const VmbHandle_t handle, const char *name, const char *value);
VmbError_t VmbFeatureIntGet(const VmbHandle_t handle, const char *name, VmbInt64_t *pValue);
VmbError_t VmbFeatureIntSet(const VmbHandle_t handle, const char *name, VmbInt64_t value);
VmbError_t VmbCaptureStart(const VmbHandle_t handle);
VmbError_t VmbCaptureEnd(const VmbHandle_t handle);
VmbError_t VmbCaptureQueueFlush(const VmbHandle_t handle);
VmbError_t VmbFrameAnnounce(const VmbHandle_t handle, const VmbFrame_t *pFrame,
                            VmbUint32_t sizeofFrame);
VmbError_t VmbFrameRevokeAll(const VmbHandle_t handle);
VmbError_t VmbCaptureFrameQueue(const VmbHandle_t handle, const VmbFrame_t *pFrame,
                                VmbFrameCallback callback);
VmbError_t VmbCaptureFrameWait(const VmbHandle_t handle, const VmbFrame_t *pFrame,
                               VmbUint32_t timeout);

#ifdef __cplusplus
}
#endif
