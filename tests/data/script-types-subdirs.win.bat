MD D:\Backups\BK-20261206
MD D:\Backups\BK-20261206\Src
xcopy C:\Work\Src\*.doc D:\Backups\BK-20261206\Src /S /D:12-6-2026
xcopy C:\Work\Src\*.xls D:\Backups\BK-20261206\Src /S /D:12-6-2026
MD D:\Backups\BK-20261206\Docs
xcopy C:\Work\Docs\*.doc D:\Backups\BK-20261206\Docs /S /D:12-6-2026
xcopy C:\Work\Docs\*.xls D:\Backups\BK-20261206\Docs /S /D:12-6-2026
