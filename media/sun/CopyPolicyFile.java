// Puts one of the installer's files into the user's home: "java CopyPolicyFile .java.policy"
// copies java.policy from the current directory (the media's sun directory) to ~/.java.policy,
// saving the file there once as <name>.ocf-bak. Every new file is written beside its place, forced
// to the disk and moved there, so a failure or a kill leaves the user's file whole: a failure gives
// exit status non-zero and one line on stderr. A read-only user's file is left exactly as it is
// (content, mark and time), as the installer leaves its own read-only files: exit status 7.
// Statuses: 0 done, 2 bad arguments, 3 no media file, 4 no home, 5 no backup, 6 not copied,
// 7 the user's file is read-only.

import java.io.File;
import java.io.IOException;
import java.nio.ByteBuffer;
import java.nio.channels.FileChannel;
import java.nio.file.AccessDeniedException;
import java.nio.file.FileAlreadyExistsException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.StandardOpenOption;
import java.nio.file.attribute.PosixFilePermission;
import java.util.Arrays;

public final class CopyPolicyFile {
    static final int OK = 0;
    static final int USAGE = 2;
    static final int NO_SOURCE = 3;
    static final int NO_HOME = 4;
    static final int BACKUP_FAILED = 5;
    static final int COPY_FAILED = 6;
    static final int READ_ONLY = 7;

    private static final String BACKUP_SUFFIX = ".ocf-bak";
    // A user's file changed since the first run is kept as <name>.ocf-edit<N> before it is replaced.
    private static final String EDIT_SUFFIX = ".ocf-edit";
    // A new file before it is moved into place: ~ocf<8 hex digits>.tmp beside it, as the installer
    // names its own, so that the next run knows a leftover for what it is.
    private static final String TEMPORARY_PREFIX = "~ocf";
    private static final String TEMPORARY_SUFFIX = ".tmp";
    private static final java.util.Random RANDOM = new java.security.SecureRandom();

    private CopyPolicyFile() {
    }

    public static void main(String[] args) {
        System.exit(run(args));
    }

    static int run(String[] args) {
        if (args.length != 1 || !isDotName(args[0])) {
            return fail(USAGE, "użycie: java CopyPolicyFile .<nazwa pliku>, np. .java.policy");
        }
        String target = args[0];
        File source = new File(target.substring(1)).getAbsoluteFile();
        if (!source.isFile()) {
            return fail(NO_SOURCE, "brak pliku " + source.getPath());
        }
        String home = System.getProperty("user.home");
        if (home == null || !new File(home).isDirectory()) {
            return fail(NO_HOME, "katalog domowy użytkownika nie istnieje: " + home);
        }
        File destination = new File(home, target);
        if (destination.isDirectory()) {
            return fail(COPY_FAILED, "w miejscu pliku jest katalog: " + destination.getPath());
        }
        return copy(source, destination);
    }

    // A plain file name after the dot: no directory part, nothing that leaves the home.
    static boolean isDotName(String name) {
        return name.length() > 1 && name.charAt(0) == '.' && !name.equals("..")
                && name.indexOf('/') < 0 && name.indexOf('\\') < 0 && name.indexOf(':') < 0;
    }

    // Nothing the user relies on is ever half-written: each new file (the user's file, its backup,
    // a changed file kept aside) is written to a temporary file beside its place, forced to the
    // disk and checked, and only then moved there in one step. A user's file that already holds
    // the installer's bytes is left as it is. The temporary file is ours, so it never carries the
    // read-only mark of a source on a CD. A read-only user's file is the user's choice: nothing is
    // written beside it either, not even its backup, and the step that runs us counts it failed.
    private static int copy(File source, File destination) {
        Path temporary = null;
        String problem;
        int status = COPY_FAILED;
        try {
            byte[] content = readSource(source);
            removeLeftovers(destination.getParentFile());
            if (sameContent(destination, content)) {
                return OK;
            }
            if (destination.exists() && isReadOnly(destination)) {
                return fail(READ_ONLY, "plik " + destination.getPath()
                        + " jest tylko do odczytu: pozostawiono go bez zmian");
            }
            backUpOnce(destination, content);
            temporary = writeBeside(destination, content);
            Files.move(temporary, destination.toPath(), StandardCopyOption.REPLACE_EXISTING,
                    StandardCopyOption.ATOMIC_MOVE);
            return OK;
        } catch (IOException e) {
            status = failedStatus != OK ? failedStatus : COPY_FAILED;
            problem = failedStatus != OK ? e.getMessage() : "nie można skopiować "
                    + source.getPath() + " do " + destination.getPath() + ": " + reason(e);
        }
        // Not replaced: the new file goes.
        if (temporary != null && !removed(temporary)) {
            problem += " (pozostał plik tymczasowy " + temporary + ")";
        }
        return fail(status, problem);
    }

    // Windows' read-only mark, which File.canWrite reads there; where the file system has POSIX
    // modes, also no write permission for the owner, which root's own access check passes over.
    // A file that another account owns and this one may not write counts as read-only too.
    private static boolean isReadOnly(File file) throws IOException {
        if (!file.canWrite()) {
            return true;
        }
        try {
            return !Files.getPosixFilePermissions(file.toPath())
                    .contains(PosixFilePermission.OWNER_WRITE);
        } catch (UnsupportedOperationException e) {
            return false;
        }
    }

    private static byte[] readSource(File source) throws IOException {
        try {
            return Files.readAllBytes(source.toPath());
        } catch (IOException e) {
            throw failure(COPY_FAILED, "nie można odczytać " + source.getPath() + ": "
                    + reason(e));
        }
    }

    private static boolean sameContent(File file, byte[] content) {
        try {
            return file.isFile() && file.length() == content.length
                    && Arrays.equals(content, Files.readAllBytes(file.toPath()));
        } catch (IOException e) {
            return false;
        }
    }

    static boolean isTemporaryName(String name) {
        return name.matches(java.util.regex.Pattern.quote(TEMPORARY_PREFIX) + "[0-9a-f]{8}"
                + java.util.regex.Pattern.quote(TEMPORARY_SUFFIX));
    }

    // What a run cut off before its move left behind: only names of our own pattern.
    private static void removeLeftovers(File directory) {
        String[] names = directory.list();
        for (String name : names != null ? names : new String[0]) {
            File file = new File(directory, name);
            if (isTemporaryName(name) && file.isFile()) {
                file.delete();
            }
        }
    }

    // A new temporary file beside target holding content, forced to the disk and read back.
    private static Path writeBeside(File target, byte[] content) throws IOException {
        Path directory = target.getAbsoluteFile().getParentFile().toPath();
        for (int attempt = 0; ; attempt++) {
            String name = TEMPORARY_PREFIX + String.format("%08x", RANDOM.nextInt()) + TEMPORARY_SUFFIX;
            Path temporary = directory.resolve(name);
            try {
                write(temporary, content);
            } catch (FileAlreadyExistsException e) {
                if (attempt < 16) {
                    continue;
                }
                throw e;
            }
            if (!Arrays.equals(content, Files.readAllBytes(temporary))) {
                removed(temporary);
                throw failure(COPY_FAILED, "plik " + temporary + " różni się od źródła");
            }
            return temporary;
        }
    }

    // Written and forced to the disk before any move, so that a move never puts an empty or
    // partly written file under a name the user relies on.
    private static void write(Path file, byte[] content) throws IOException {
        FileChannel channel = FileChannel.open(file, StandardOpenOption.WRITE,
                StandardOpenOption.CREATE_NEW);
        try {
            ByteBuffer buffer = ByteBuffer.wrap(content);
            while (buffer.hasRemaining()) {
                channel.write(buffer);
            }
            channel.force(true);
        } catch (IOException e) {
            channel.close();
            removed(file);
            throw e;
        }
        channel.close();
    }

    // Puts a whole copy of content at target only where nothing stands yet.
    private static void placeNew(File target, byte[] content) throws IOException {
        Path temporary = writeBeside(target, content);
        try {
            Files.move(temporary, target.toPath());
        } catch (IOException e) {
            removed(temporary);
            throw e;
        }
    }

    // The user's own file is saved once, and the backup appears only whole; one that is there
    // already holds the file from before the first run and is never replaced. A file changed
    // since (neither the installer's nor the backup) is kept aside under the first free
    // numbered name before it is replaced.
    private static void backUpOnce(File destination, byte[] content) throws IOException {
        File backup = new File(destination.getPath() + BACKUP_SUFFIX);
        if (!destination.exists()) {
            return;
        }
        try {
            byte[] own = Files.readAllBytes(destination.toPath());
            if (!backup.exists()) {
                placeNew(backup, own);
            } else if (!Arrays.equals(own, content) && !sameContent(backup, own)) {
                keepAside(destination, own);
            }
        } catch (IOException e) {
            if (failedStatus != OK) {
                throw e;
            }
            throw failure(BACKUP_FAILED, "nie można zachować " + destination.getPath()
                    + " jako " + backup.getPath() + ": " + reason(e));
        }
    }

    private static void keepAside(File destination, byte[] own) throws IOException {
        for (int number = 1; number < 100; number++) {
            File kept = new File(destination.getPath() + EDIT_SUFFIX + number);
            if (kept.exists()) {
                if (sameContent(kept, own)) {
                    return;
                }
                continue;
            }
            placeNew(kept, own);
            System.out.println("CopyPolicyFile: zmieniony plik zachowano jako " + kept.getPath());
            return;
        }
        throw failure(BACKUP_FAILED, "brak wolnej nazwy dla " + destination.getPath() + EDIT_SUFFIX);
    }

    private static boolean removed(Path file) {
        try {
            Files.deleteIfExists(file);
            return true;
        } catch (IOException e) {
            return false;
        }
    }

    // Java's message for a denied access is the file's name alone, which the line already gives.
    private static String reason(IOException e) {
        if (e instanceof AccessDeniedException) {
            return "brak dostępu";
        }
        return e.getMessage() != null ? e.getMessage() : e.getClass().getSimpleName();
    }

    // A step that failed, with its exit status and the line for standard error. The status is
    // kept in a field, not in a class of its own: the media carry this one class file alone.
    private static int failedStatus = OK;

    private static IOException failure(int status, String message) {
        failedStatus = status;
        return new IOException(message);
    }

    private static int fail(int status, String message) {
        System.err.println("CopyPolicyFile: " + message);
        return status;
    }
}
