// Puts one of the installer's files into the user's home: "java CopyPolicyFile .java.policy"
// copies java.policy from the current directory (the media's sun directory) to ~/.java.policy,
// saving the file there once as <name>.ocf-bak. The copy is written beside it and moved into place,
// so a failure leaves the user's file as it was: then exit status non-zero and one line on stderr.

import java.io.File;
import java.io.IOException;
import java.nio.ByteBuffer;
import java.nio.channels.FileChannel;
import java.nio.file.AccessDeniedException;
import java.nio.file.AtomicMoveNotSupportedException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.StandardOpenOption;
import java.util.Arrays;

public final class CopyPolicyFile {
    static final int OK = 0;
    static final int USAGE = 2;
    static final int NO_SOURCE = 3;
    static final int NO_HOME = 4;
    static final int BACKUP_FAILED = 5;
    static final int COPY_FAILED = 6;

    private static final String BACKUP_SUFFIX = ".ocf-bak";
    // The new file before it is moved into place: <name>.ocf-<random digits>.tmp beside it.
    private static final String TEMPORARY_INFIX = ".ocf-";
    private static final String TEMPORARY_SUFFIX = ".tmp";

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

    // The new file is written to a temporary file beside the destination and checked; only then is
    // the user's file backed up and replaced, by a move (atomic where the file system allows it).
    // Files.copy with REPLACE_EXISTING would delete the user's file first and lose it whenever the
    // copy then failed. The temporary file is ours, so it never carries the read-only mark of a
    // source on a CD; a read-only user's file has the mark taken off, as Windows refuses to replace
    // it otherwise, and gets it back when it is not replaced after all.
    private static int copy(File source, File destination) {
        Path temporary = null;
        boolean madeWritable = false;
        String problem;
        int status = COPY_FAILED;
        try {
            byte[] content = readSource(source);
            temporary = Files.createTempFile(destination.getParentFile().toPath(),
                    destination.getName() + TEMPORARY_INFIX, TEMPORARY_SUFFIX);
            write(temporary, content);
            if (!Arrays.equals(content, Files.readAllBytes(temporary))) {
                throw failure(COPY_FAILED, "plik " + temporary + " różni się od źródła");
            }
            if (!temporary.toFile().setWritable(true)) {
                throw failure(COPY_FAILED, "nie można zezwolić na zapis do " + temporary);
            }
            backUpOnce(destination);
            if (destination.exists() && !destination.canWrite()) {
                if (!destination.setWritable(true)) {
                    throw failure(COPY_FAILED, "nie można zezwolić na zapis do "
                            + destination.getPath() + ", więc nie można go zastąpić");
                }
                madeWritable = true;
            }
            moveIntoPlace(temporary, destination.toPath());
            return OK;
        } catch (IOException e) {
            status = failedStatus != OK ? failedStatus : COPY_FAILED;
            problem = failedStatus != OK ? e.getMessage() : "nie można skopiować "
                    + source.getPath() + " do " + destination.getPath() + ": " + reason(e);
        }
        // Not replaced: the user's file gets its read-only mark back, and the new file goes.
        if (madeWritable) {
            destination.setWritable(false);
        }
        if (temporary != null && !removed(temporary)) {
            problem += " (pozostał plik tymczasowy " + temporary + ")";
        }
        return fail(status, problem);
    }

    private static byte[] readSource(File source) throws IOException {
        try {
            return Files.readAllBytes(source.toPath());
        } catch (IOException e) {
            throw failure(COPY_FAILED, "nie można odczytać " + source.getPath() + ": "
                    + reason(e));
        }
    }

    // Written and flushed to the disk before the move, so that the move never puts an empty or
    // partly written file in the user's file's place.
    private static void write(Path file, byte[] content) throws IOException {
        FileChannel channel = FileChannel.open(file, StandardOpenOption.WRITE,
                StandardOpenOption.TRUNCATE_EXISTING);
        try {
            ByteBuffer buffer = ByteBuffer.wrap(content);
            while (buffer.hasRemaining()) {
                channel.write(buffer);
            }
            channel.force(true);
        } finally {
            channel.close();
        }
    }

    private static void backUpOnce(File destination) throws IOException {
        File backup = new File(destination.getPath() + BACKUP_SUFFIX);
        if (!destination.exists() || backup.exists()) {
            return;
        }
        try {
            Files.copy(destination.toPath(), backup.toPath(), StandardCopyOption.COPY_ATTRIBUTES);
        } catch (IOException e) {
            throw failure(BACKUP_FAILED, "nie można zachować " + destination.getPath()
                    + " jako " + backup.getPath() + ": " + reason(e));
        }
    }

    private static void moveIntoPlace(Path temporary, Path destination) throws IOException {
        try {
            Files.move(temporary, destination, StandardCopyOption.REPLACE_EXISTING,
                    StandardCopyOption.ATOMIC_MOVE);
        } catch (AtomicMoveNotSupportedException e) {
            Files.move(temporary, destination, StandardCopyOption.REPLACE_EXISTING);
        }
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
