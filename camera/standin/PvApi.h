// STAND-IN for the header of PvAPI (libPvAPI), not the vendor's file. It
// declares only the types, constants and functions that the pvapicam module
// uses, with the vendor's names, values and record layouts, so that the
// module's source builds unchanged against the real SDK (see PVAPI_SDK_DIR
// in camera/vendor.cmake). Implemented by the stand-in library built from
// pvapi.cpp, which simulates cameras (see standin.h).
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

typedef void *tPvHandle;
typedef unsigned int tPvUint32;

typedef enum {
    ePvErrSuccess = 0,
    ePvErrCameraFault = 1,
    ePvErrInternalFault = 2,
    ePvErrBadHandle = 3,
    ePvErrBadParameter = 4,
    ePvErrBadSequence = 5,
    ePvErrNotFound = 6,
    ePvErrAccessDenied = 7,
    ePvErrUnplugged = 8,
    ePvErrInvalidSetup = 9,
    ePvErrResources = 10,
    ePvErrBandwidth = 11,
    ePvErrQueueFull = 12,
    ePvErrBufferTooSmall = 13,
    ePvErrCancelled = 14,
    ePvErrDataLost = 15,
    ePvErrDataMissing = 16,
    ePvErrTimeout = 17,
    ePvErrOutOfRange = 18,
    ePvErrWrongType = 19,
    ePvErrForbidden = 20,
    ePvErrUnavailable = 21,
    ePvErrFirewall = 22,
    __ePvErr_force_32 = 0xFFFFFFFF
} tPvErr;

typedef enum { ePvAccessMonitor = 2, ePvAccessMaster = 4, __ePvAccess_force_32 = 0xFFFFFFFF } tPvAccessFlags;
typedef enum { ePvInterfaceFirewire = 1, ePvInterfaceEthernet = 2, __ePvInterface_force_32 = 0xFFFFFFFF } tPvInterface;

typedef enum {
    ePvFmtMono8 = 0,
    ePvFmtMono16 = 1,
    ePvFmtBayer8 = 2,
    ePvFmtBayer16 = 3,
    ePvFmtRgb24 = 4,
    __ePvFmt_force_32 = 0xFFFFFFFF
} tPvImageFormat;

typedef enum { ePvBayerRGGB = 0, ePvBayerGBRG = 1, ePvBayerGRBG = 2, ePvBayerBGGR = 3, __ePvBayer_force_32 = 0xFFFFFFFF } tPvBayerPattern;

// One entry of the extended camera listing (200 bytes).
typedef struct {
    unsigned long StructVer;
    unsigned long UniqueId;
    char CameraName[32];
    char ModelName[32];
    char PartNumber[32];
    char SerialNumber[32];
    char FirmwareVersion[32];
    unsigned long PermittedAccess;
    unsigned long InterfaceId;
    tPvInterface InterfaceType;
} tPvCameraInfoEx;

// The frame record (488 bytes): the caller sets ImageBuffer and
// ImageBufferSize, the API fills the rest when the frame is done.
typedef struct {
    void *ImageBuffer;
    unsigned long ImageBufferSize;
    void *AncillaryBuffer;
    unsigned long AncillaryBufferSize;
    void *Context[4];
    unsigned long _reserved1[8];
    tPvErr Status;
    unsigned long ImageSize;
    unsigned long AncillarySize;
    unsigned long Width;
    unsigned long Height;
    unsigned long RegionX;
    unsigned long RegionY;
    tPvImageFormat Format;
    unsigned long BitDepth;
    tPvBayerPattern BayerPattern;
    unsigned long FrameCount;
    unsigned long TimestampLo;
    unsigned long TimestampHi;
    unsigned long _reserved2[32];
} tPvFrame;

typedef void (*tPvFrameCallback)(tPvFrame *Frame);

tPvErr PvInitialize(void);
void PvUnInitialize(void);
unsigned long PvCameraListEx(tPvCameraInfoEx *pList, unsigned long ListLength,
                             unsigned long *pConnectedNum, unsigned long StructSize);
tPvErr PvCameraOpen(unsigned long UniqueId, tPvAccessFlags AccessFlag, tPvHandle *pCamera);
tPvErr PvCameraClose(tPvHandle Camera);
tPvErr PvCommandRun(tPvHandle Camera, const char *Name);
tPvErr PvAttrEnumGet(tPvHandle Camera, const char *Name, char *pBuffer, unsigned long BufferSize,
                     unsigned long *pSize);
tPvErr PvAttrEnumSet(tPvHandle Camera, const char *Name, const char *Value);
tPvErr PvAttrUint32Get(tPvHandle Camera, const char *Name, tPvUint32 *pValue);
tPvErr PvAttrUint32Set(tPvHandle Camera, const char *Name, tPvUint32 Value);
tPvErr PvCaptureAdjustPacketSize(tPvHandle Camera, unsigned long MaximumPacketSize);
tPvErr PvCaptureStart(tPvHandle Camera);
tPvErr PvCaptureEnd(tPvHandle Camera);
tPvErr PvCaptureQueueClear(tPvHandle Camera);
tPvErr PvCaptureQueueFrame(tPvHandle Camera, tPvFrame *pFrame, tPvFrameCallback Callback);
tPvErr PvCaptureWaitForFrameDone(tPvHandle Camera, const tPvFrame *pFrame, unsigned long Timeout);
void PvUtilityColorInterpolate(const tPvFrame *pFrame, void *BufferRed, void *BufferGreen,
                               void *BufferBlue, unsigned long PixelPadding,
                               unsigned long LinePadding);

#ifdef __cplusplus
}
#endif
