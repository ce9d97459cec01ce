MD /srv/Backups/BK-20261206
MD /srv/Backups/BK-20261206/Src
xcopy /home/jo/Work/Src/*.* /srv/Backups/BK-20261206/Src /D:12-6-2026
MD /srv/Backups/BK-20261206/Docs
xcopy /home/jo/Work/Docs/*.* /srv/Backups/BK-20261206/Docs /D:12-6-2026
