MD /srv/Backups/BK-20261206
MD /srv/Backups/BK-20261206/Src
xcopy /home/jo/Work/Src/*.doc /srv/Backups/BK-20261206/Src /S /D:12-6-2026
xcopy /home/jo/Work/Src/*.xls /srv/Backups/BK-20261206/Src /S /D:12-6-2026
MD /srv/Backups/BK-20261206/Docs
xcopy /home/jo/Work/Docs/*.doc /srv/Backups/BK-20261206/Docs /S /D:12-6-2026
xcopy /home/jo/Work/Docs/*.xls /srv/Backups/BK-20261206/Docs /S /D:12-6-2026
