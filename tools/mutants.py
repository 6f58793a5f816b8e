"""The faults tools/mutate.py plants, one at a time.

Each is a slip a developer could make, written as a text replacement:
  id       a short name (tools/mutate.py --only takes it)
  file     the source file, from the top of the tree
  find     text that occurs exactly once in the file
  replace  what it becomes
  what     what a user would meet if it shipped
  tests    the GoogleTest filter of the tests that should notice it
           (default: every test of tessvane_tests)
  reason   (only for a fault that survives on purpose) why it cannot matter
"""

UZ2 = "Uz2.*:FormatLiterals.*"
UMOD = "Umod.*:InstallUndo.*:FormatLiterals.*:Refusals.*"
PACKAGE = "PackageHeader.*:PackageState.*:FormatLiterals.*"
TIDY = "Tidy.*:CrashSafety.*"
GAMES = "Discovery.*:WineRegistry.*:FormatLiterals.*:GameProcess.*:Refusals.*"
REFUSALS = "GameProcess.*:Refusals.*:Umod.*:InstallUndo.*:Repair.*"

MUTANTS = [
    # ---- .uz2 packages ------------------------------------------------------------
    dict(id="uz2-chunk-limit", file="formats/uz2.cpp", tests=UZ2,
         find="size > kUz2ChunkBytes ||", replace="size > kUz2ChunkBytes + 1 ||",
         what="a chunk of 32,769 bytes, which no .uz2 holds, is unpacked"),
    dict(id="uz2-header-cut", file="formats/uz2.cpp", tests=UZ2,
         find="if (n == 0) return true;\n            std::string what;",
         replace="if (n < 8) return true;\n            std::string what;",
         what="a .uz2 cut inside a chunk header is reported as unpacked"),
    dict(id="uz2-limit-late", file="formats/uz2.cpp", tests=UZ2,
         find="if (out.size() + size > maxBytes) {", replace="if (out.size() > maxBytes) {",
         what="a package one chunk past the size limit is unpacked"),
    dict(id="uz2-short-chunk", file="formats/uz2.cpp", tests=UZ2,
         find="if (rc != Z_OK || got != size) {", replace="if (rc != Z_OK) {",
         what="a chunk holding less than it declares is padded with zeros"),
    dict(id="uz2-cut-stream", file="formats/uz2.cpp", tests=UZ2,
         find="if (uz2.size() - at - 8 < compressed) {", replace="if (uz2.size() - at < compressed) {",
         what="a chunk cut in its last 8 bytes is read past the end"),
    dict(id="uz2-name", file="formats/uz2.cpp", tests=UZ2 + ":Umod.*:MapArchive.*",
         find='!endsWithNoCase(fileName, ".uz2")', replace='fileName.substr(fileName.size() - 4) != ".uz2"',
         what="a package named .UZ2 is installed compressed, under that name"),

    # ---- UMOD installers -----------------------------------------------------------
    dict(id="umod-piece-offset", file="formats/umod.cpp", tests=UMOD,
         find="if (!readAt(in, buf.data(), n, file.offset + done))",
         replace="if (!readAt(in, buf.data(), n, file.offset))",
         what="a UMOD file larger than one 64 KiB piece is installed with wrong bytes"),
    dict(id="umod-compare-bytes", file="formats/umod.cpp", tests=UMOD,
         find=" &&\n               std::memcmp(x.data(), y.data(), n) == 0;", replace=";",
         what="a player's file of the same size counts as the installer's: said installed"),
    dict(id="umod-compare-piece", file="formats/umod.cpp", tests=UMOD,
         find="readAt(b, y.data(), n, done)", replace="readAt(b, y.data(), n, 0)",
         what="a large file installed before is called another file on the next install"),
    dict(id="umod-compact-shift", file="formats/umod.cpp", tests=UMOD,
         find="        shift += 7;", replace="        shift += 8;",
         what="an installer with a path of 64 characters or more is called damaged"),
    dict(id="umod-compact-fifth", file="formats/umod.cpp", tests=UMOD,
         find="if (i == 4) {", replace="if (i == 5) {",
         what="a five-byte count, as the engine writes values past 2^27, is misread"),
    dict(id="umod-count-bound", file="formats/umod.cpp", tests=UMOD,
         find="static_cast<uint64_t>(*count) > b.size() / 14",
         replace="*count > (int64_t{1} << 40)",
         what="a directory promising billions of files takes all memory before it is refused"),
    dict(id="umod-entry-bounds", file="formats/umod.cpp", tests=UMOD,
         find="if (f.offset > contentEnd || f.size > contentEnd - f.offset)",
         replace="if (f.offset > contentEnd)",
         what="a file running into the directory is installed with the directory's bytes"),
    dict(id="umod-total-size", file="formats/umod.cpp", tests=UMOD,
         find="if (total != size || dirAt > dirEnd", replace="if (dirAt > dirEnd",
         what="an installer cut short or grown is read as whole"),
    dict(id="umod-manifest-int", file="archives/umod_installer.cpp", tests=UMOD,
         find=' || equalsNoCase(name, "Manifest.int");', replace=";",
         what="the installer's Manifest.int is installed into the game's System folder"),
    dict(id="umod-folder-case", file="archives/umod_installer.cpp", tests=UMOD,
         find="        at = findInFolder(at, name);", replace="        at = joinPath(at, name);",
         what="a folder is made in the installer's letter case (textures beside Textures)"),
    dict(id="umod-record-existing", file="archives/umod_installer.cpp", tests=UMOD,
         find="                say(moveLine(f.path + from, *there));\n                ++result.installed;",
         replace="                say(moveLine(f.path + from, *there));\n"
                 "                ++result.installed;\n                result.copied.push_back(*there);",
         what="a map the player already had is recorded, and taking the UMOD back deletes it"),
    dict(id="umod-failure-silent", file="archives/umod_installer.cpp", tests=UMOD,
         find="            result.failures.push_back(error);\n", replace="",
         what="a damaged file of an installer is reported, yet the install exits 0"),
    dict(id="umod-uz2-member", file="archives/umod_installer.cpp", tests=UMOD + ":Uz2.*",
         find="if (auto package = uz2PackageName(name); !package.empty()) name = package;",
         replace="",
         what="a .uz2 file of an installer is installed compressed under its .uz2 name"),

    # ---- map archives ----------------------------------------------------------------
    dict(id="zip-record-existing", file="archives/map_archive.cpp",
         tests="MapArchive.*:InstallUndo.*:Zip.*:Uz2.*",
         find="detail, sink);\n        if (placed == Placed::Copied) result.copied.push_back(target);\n"
              "        switch (placed) {\n        case Placed::Copied:\n        case Placed::Same:\n"
              "            status(line);",
         replace="detail, sink);\n        if (placed != Placed::Kept && placed != Placed::Failed) "
                 "result.copied.push_back(target);\n        switch (placed) {\n"
                 "        case Placed::Copied:\n        case Placed::Same:\n            status(line);",
         what="a map the player already had is recorded, and taking the ZIP back deletes it"),

    # ---- package headers and states -----------------------------------------------------
    dict(id="package-guid-version", file="engine/package_header.cpp", tests=PACKAGE,
         find="if (h.fileVersion >= kGuidVersion) {", replace="if (h.fileVersion > kGuidVersion) {",
         what="a version-68 package loses its GUID and is compared by bytes only"),
    dict(id="package-offset-past-end", file="engine/package_header.cpp", tests=PACKAGE,
         find="if (count < 0 || offset < 0 || offset > fileSize) return std::nullopt;",
         replace="if (count < 0 || offset < 0) return std::nullopt;",
         what="a package cut short (tables past its end) is not called damaged"),
    dict(id="package-guid-text", file="engine/package_header.cpp", tests=PACKAGE,
         find="const uint8_t byte = guid[word * 4 + i];", replace="const uint8_t byte = guid[word * 4 + 3 - i];",
         what="a package's GUID is written in the wrong byte order"),
    dict(id="state-same-size", file="engine/package_state.cpp", tests=PACKAGE,
         find="cached.size == there.size && sameContent(cacheFile, installedFile);",
         replace="cached.size == there.size;",
         what="a package of the same GUID and size but other bytes is called identical"),
    dict(id="state-threads-share", file="engine/package_state.cpp", tests=PACKAGE,
         find="const size_t share = (table.size() + threads - 1) / threads;",
         replace="const size_t share = table.size() / threads;",
         what="with 2,048 entries or more the last rows are left without a state"),
    dict(id="state-damaged-header", file="engine/package_state.cpp", tests=PACKAGE,
         find="if (cached.size == 0 || (isPackageType(type) && !isPackage)) return PackageState::Damaged;",
         replace="if (cached.size == 0) return PackageState::Damaged;",
         what="a texture without a package header is new, ticked and moved"),
    dict(id="state-other-version", file="engine/package_state.cpp", tests=PACKAGE,
         find="if (cached.header.guid != there.header.guid) return PackageState::OtherVersion;",
         replace="if (cached.header.guid != there.header.guid) return PackageState::Installed;",
         what="another version of an installed package is called installed"),

    # ---- tidying the cache ----------------------------------------------------------------
    dict(id="tidy-orphan-numbered", file="engine/cache_tidy.cpp", tests=TIDY,
         find="        named.insert(toLower(e->candidate1));\n", replace="",
         what="tidy --orphans deletes the file ID-1.uxx that the line ID=Kept.utx names"),
    dict(id="tidy-rewrite-silent", file="engine/cache_tidy.cpp", tests=TIDY,
         find='fail("Cache.ini could not be rewritten: " + error);',
         replace='m_sink.status("**ERROR** Cache.ini could not be rewritten: " + error);',
         what="a tidy whose Cache.ini could not be rewritten exits 0"),
    dict(id="tidy-delete-without-line", file="engine/cache_tidy.cpp", tests=TIDY,
         find="if (!f.package.empty() && !m_linesGone && !m_options.dryRun) return;",
         replace="",
         what="a duplicate is deleted though its line stayed in Cache.ini"),
    dict(id="tidy-duplicate-by-size", file="engine/cache_tidy.cpp", tests=TIDY,
         find="if (installed.empty() || !sameContent(path, installed)) continue;",
         replace="if (installed.empty() || fileSize(path) != fileSize(installed)) continue;",
         what="a cache file of the installed file's size but other bytes is deleted as a duplicate"),

    # ---- finding the game -----------------------------------------------------------------
    dict(id="wine-wow6432", file="games/discovery.cpp", tests=GAMES,
         find='{"Software", "Software\\\\Wow6432Node"}', replace='{"Software"}',
         what="a Wine key only under Wow6432Node is not found"),
    dict(id="wine-key-case", file="games/discovery.cpp", tests=GAMES,
         find='return containsNoCase(key, "Unreal Technology\\\\Installed Apps\\\\UT200");',
         replace='return key.find("Unreal Technology\\\\Installed Apps\\\\UT200") != std::string_view::npos;',
         what="a Wine key written in other letter case is not found"),
    dict(id="wine-dotdot", file="games/discovery.cpp", tests=GAMES,
         find='if (part == "." || part == "..") return std::nullopt;',
         replace='if (part == ".") return std::nullopt;',
         what="a registry path with .. climbs out of the Wine drive"),
    dict(id="wine-drive-letter", file="games/discovery.cpp", tests=GAMES,
         find='const std::string drive = std::string(1, lower8(p[0])) + ":";',
         replace='const std::string drive = std::string(1, p[0]) + ":";',
         what="a key naming drive D: in capitals is not found through dosdevices/d:"),
    dict(id="steam-library-path", file="games/discovery.cpp", tests=GAMES,
         find='equalsNoCase(k, "path") || numbered', replace='numbered',
         what="Steam libraries of the current libraryfolders.vdf are not searched"),
    dict(id="process-wine-arg", file="games/game_process.cpp", tests=GAMES,
         find="!running && arg < 3; ++arg", replace="!running && arg < 1; ++arg",
         what="a game started as wine UT2004.exe is not seen running"),
    dict(id="process-bin-prefix", file="games/game_process.cpp", tests=GAMES,
         find='n.rfind(g + "-bin", 0) == 0', replace='n == g + "-bin"',
         what="the 64-bit binary ut2004-bin-linux-amd64 is not seen running"),

    # ---- refusals -------------------------------------------------------------------------------
    dict(id="umod-while-running", file="session/session_archives.cpp", tests=REFUSALS,
         find="    if (refuseWhileGameRuns()) return false;\n    setStatusText(\"Processing files...\");\n"
              "    folders = workOutFolders",
         replace="    setStatusText(\"Processing files...\");\n    folders = workOutFolders",
         what="a UMOD installs while the game runs"),
    dict(id="umod-without-lock", file="session/session_archives.cpp", tests=REFUSALS,
         find="    lastUmod = UmodInstallResult{};\n    OperationLock lock(programFolder);\n"
              "    if (!lock.held()) return refuse(lock.error());\n",
         replace="    lastUmod = UmodInstallResult{};\n",
         what="a UMOD installs while another Tessvane works on the game"),
    dict(id="takeback-while-running", file="session/session_archives.cpp", tests=REFUSALS,
         find="    if (refuseWhileGameRuns()) return false;\n    UndoLog undo;\n",
         replace="    UndoLog undo;\n",
         what="an installation is taken back while the game runs"),
    dict(id="repair-while-running", file="session/session.cpp", tests=REFUSALS,
         find="    if (gameIsRunning(install.game, procRoot)) {\n        m_prompter.message(gameRunningText(install.game));\n        return;\n    }\n",
         replace="",
         what="Cache.ini is repaired while the game writes it"),

    # ---- taking installations back ----------------------------------------------------------
    dict(id="takeback-same-size", file="session/session_archives.cpp", tests="InstallUndo.*:Umod.*",
         find=" || fileHash(path) != f->hash", replace="",
         what="a file the player changed, of the same size, is deleted by the take-back"),
    dict(id="takeback-forget-failed", file="session/session_archives.cpp", tests="InstallUndo.*:Umod.*",
         find="                break; // its record stays: it can be taken back later\n",
         replace="",
         what="a file that could not be deleted loses its record for good"),

    # ---- the engine -------------------------------------------------------------------------------
    dict(id="purge-thirty-days", file="store/purge.cpp",
         tests="GameConfiguration.*:Scan.*:CliScan.*:Settings.*:Housekeeping*:Purge.*",
         find="(days > 30 || days == 0)", replace="(days >= 30 || days == 0)",
         what="a purge period of 30 days is kept, though the game would purge the cache monthly"),
    dict(id="purge-never-kept", file="store/purge.cpp",
         tests="GameConfiguration.*:Scan.*:CliScan.*:Settings.*:Purge.*",
         find="(days > 30 || days == 0)", replace="(days > 30)",
         what="a purge period of 0 (never purge) is raised to 360"),
    dict(id="purge-days-limit", file="store/purge.cpp", tests="CliSetPurge.*:Housekeeping*:Settings.*",
         find="return std::stoi(days) <= 3650;", replace="return std::stoi(days) < 3650;",
         what="the longest purge period, 3650 days, is refused"),
    dict(id="index-line-ends", file="platform/text_io.cpp", tests="*",
         find='    return "\\n";\n}\n', replace='    return "\\r\\n";\n}\n',
         what="a native game's LF-only Cache.ini is rewritten with CR LF"),
    dict(id="index-numbered-name", file="engine/cache_index.cpp", tests="*",
         find="e.name = std::string(line.substr(eq + 1));", replace="e.name = std::string(line.substr(eq));",
         what="a UT2004 line GUID-2=Name is read with the = in its name"),
    dict(id="undo-folder-case", file="engine/undo_moves.cpp", tests="Undo.*:Confinement.*:LetterCase.*:CliUndo.*",
         find="if (folderOf(folder) == folderOf(g) && equalsNoCase(fileNameOf(folder), fileNameOf(g)))",
         replace="if (folderOf(folder) == folderOf(g) && fileNameOf(folder) == fileNameOf(g))",
         what="a move into Steam's maps folder cannot be undone"),
    dict(id="run-existing-kept", file="engine/cache_run.cpp", tests="CacheRun.*:Move.*:Failures.*",
         find="        m_result.existing.push_back(p.destination);\n        m_kept.push_back(line);\n        return;",
         replace="        m_result.existing.push_back(p.destination);\n        return;",
         what="a package kept because the player has one of its name loses its Cache.ini line"),
]
