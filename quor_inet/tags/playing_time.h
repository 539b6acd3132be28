#pragma once
// Playing time of an MPEG audio file estimated from the first frame found where the audio
// begins: from a "Xing" or "VBRI" frame count when the first frame carries one, otherwise from
// that frame's bitrate and the file size.

#include <cstdint>

// Bytes read where the audio begins, and how many of them are searched for a frame sync.
constexpr uint32_t kAudioWindowSize = 250;
constexpr uint32_t kFrameSyncSearchLength = 50;

// Bitrate in kbit/s of a 4-byte MPEG audio frame header (most significant byte first);
// 0 for the "free" and "bad" indexes.
uint32_t GetMpegBitrate(uint32_t header);

// Position of the first 0xFF among the first 50 of the `count` bytes of `window`, or -1.
int FindFrameSync(const uint8_t* window, uint32_t count);

// Frame count of a "Xing" or "VBRI" header in the frame whose 4-byte header starts at
// window[pos], looked for only within the `count` bytes of the window. 0 when there is none,
// when it gives no count, and for "Info" headers (constant bitrate; the size formula holds).
uint32_t FindVbrFrameCount(const uint8_t* window, uint32_t count, uint32_t pos);

// Playing time in whole seconds (rounded up) of `frames` frames of the given frame header;
// 0 when the header names a reserved version, layer or sample rate.
uint32_t VbrPlayingTime(uint32_t header, uint32_t frames);

// Estimates the playing time of a file of `fileSize` bytes (S) whose tag body size is T, from
// the `count` bytes actually read into the window. Returns false (and leaves `secondsOut`
// alone) when there is no estimate: no 0xFF in the first 50 bytes, fewer than 4 header bytes
// read, a VBR count absent and bitrate 0, or a declared body reaching past the file
// (S < T + 5). Otherwise the time is ceil(frames x samples per frame / sample rate) for a VBR
// frame count, else (S - T - 5) / (R x 128) + 1 with integer division.
bool EstimatePlayingTime(const uint8_t* window, uint32_t count, uint32_t fileSize,
                         uint32_t bodySize, uint32_t& secondsOut);
