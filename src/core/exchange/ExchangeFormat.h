#pragma once

/** The names of a ".cobaltline" file's parts, shared by its writer and reader:

    <CobaltlineExport FormatVersion="1">
      <MachineProfile ...> <Plugin .../> ... </MachineProfile>   (the inventory's root, as stored)
      <UpdateList> ...the update list's rows, as stored... </UpdateList>
    </CobaltlineExport>
*/
namespace ExchangeFormat
{
    inline constexpr const char* rootTag = "CobaltlineExport";
    inline constexpr const char* versionAttribute = "FormatVersion";
    inline constexpr const char* machineProfileTag = "MachineProfile";
    inline constexpr const char* machineNameAttribute = "MachineName";
    inline constexpr const char* updateListTag = "UpdateList";

    /** The version this program writes; a file of a higher one is refused. */
    inline constexpr int currentVersion = 1;
}
