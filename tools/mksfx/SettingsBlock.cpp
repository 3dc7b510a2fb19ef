#include "SettingsBlock.h"

#include <libdeflate.h>

static void PutRecord(ByteBuffer& payload, u8 tag, const std::string& value)
{
    payload.push_back(tag);
    payload.push_back(static_cast<u8>(value.size()));
    payload.push_back(static_cast<u8>(value.size() >> 8));
    payload.insert(payload.end(), value.begin(), value.end());
}

static void Put32(ByteBuffer& out, u32 value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<u8>(value >> shift));
}

ByteBuffer SettingsBlock(const SfxOptions& sfx)
{
    if (!sfx.Given)
        return {};
    // In tag order, each once, so the same options give the same bytes.
    ByteBuffer payload;
    if (!sfx.Title.empty())
        PutRecord(payload, SettingTitle, sfx.Title);
    if (!sfx.Destination.empty())
        PutRecord(payload, SettingDestination, sfx.Destination);
    if (sfx.Overwrite != OverwriteAsk)
        PutRecord(payload, SettingOverwrite, std::string(1, static_cast<char>(sfx.Overwrite)));
    if (sfx.Quiet)
        PutRecord(payload, SettingQuiet, "");
    if (!sfx.RunProgram.empty())
        PutRecord(payload, SettingRunProgram, sfx.RunProgram);
    if (!sfx.RunArguments.empty())
        PutRecord(payload, SettingRunArguments, sfx.RunArguments);
    if (sfx.Temp)
        PutRecord(payload, SettingTemp, "");
    if (sfx.Admin)
        PutRecord(payload, SettingAdmin, "");
    ByteBuffer block(SettingsMark, SettingsMark + sizeof SettingsMark);
    Put32(block, static_cast<u32>(payload.size()));
    Put32(block, static_cast<u32>(libdeflate_crc32(0, payload.data(), payload.size())));
    block.insert(block.end(), payload.begin(), payload.end());
    return block;
}
