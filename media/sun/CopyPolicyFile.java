// Puts one of the installer's files into the user's home: "java CopyPolicyFile .java.policy"
// copies java.policy from the current directory (the media's sun directory) to
// ${user.home}/.java.policy. A file already there is saved once as <name>.ocf-bak; a backup that
// exists is never replaced, so it keeps the user's file from before the first run.
// Exit status 0 only when the file is in place; otherwise one line on standard error.

import java.io.File;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.Arrays;

public final class CopyPolicyFile {
    static final int OK = 0;
    static final int USAGE = 2;
    static final int NO_SOURCE = 3;
    static final int NO_HOME = 4;
    static final int BACKUP_FAILED = 5;
    static final int COPY_FAILED = 6;

    private static final String BACKUP_SUFFIX = ".ocf-bak";

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
        int backup = backUpOnce(destination);
        if (backup != OK) {
            return backup;
        }
        return copy(source, destination);
    }

    // A plain file name after the dot: no directory part, nothing that leaves the home.
    static boolean isDotName(String name) {
        return name.length() > 1 && name.charAt(0) == '.' && !name.equals("..")
                && name.indexOf('/') < 0 && name.indexOf('\\') < 0 && name.indexOf(':') < 0;
    }

    private static int backUpOnce(File destination) {
        File backup = new File(destination.getPath() + BACKUP_SUFFIX);
        if (!destination.exists() || backup.exists()) {
            return OK;
        }
        try {
            Files.copy(destination.toPath(), backup.toPath(), StandardCopyOption.COPY_ATTRIBUTES);
            return OK;
        } catch (IOException e) {
            return fail(BACKUP_FAILED, "nie można zachować " + destination.getPath() + " jako "
                    + backup.getPath() + ": " + e.getMessage());
        }
    }

    // The copy takes the source's read-only mark: from read-only media (a CD) the user's file
    // would stay read-only, and Windows would refuse to replace it the next time. The mark is
    // taken off the file that is replaced and off the copy, as the installer does with its own.
    private static int copy(File source, File destination) {
        Path to = destination.toPath();
        try {
            if (destination.exists()) {
                destination.setWritable(true);
            }
            Files.copy(source.toPath(), to, StandardCopyOption.REPLACE_EXISTING);
            destination.setWritable(true);
            if (!Arrays.equals(Files.readAllBytes(source.toPath()), Files.readAllBytes(to))) {
                return fail(COPY_FAILED, "plik " + destination.getPath() + " różni się od źródła");
            }
            return OK;
        } catch (IOException e) {
            return fail(COPY_FAILED, "nie można skopiować " + source.getPath() + " do "
                    + destination.getPath() + ": " + e.getMessage());
        }
    }

    private static int fail(int status, String message) {
        System.err.println("CopyPolicyFile: " + message);
        return status;
    }
}
